#include "pages/ClipboardText.h"

#include "core/DdeItems.h"
#include "pages/DisplayState.h"
#include "pages/RowCells.h"

namespace mavo {

namespace {

constexpr unsigned kWithheld = 0x40000;
constexpr std::size_t kIssueWidth = 12;

// printf's "%-Ns" and "%Ns": padded to at least `width`, never cut.
std::string Left(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Right(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Cut(const std::string& text, std::size_t length)
{
    return text.substr(0, length);
}

// What of a line this user may see.
struct Visible {
    std::string issue;
    const LineSide* bid;
    const LineSide* offer;
    bool prices;  // rates, quantities, indicatives and trade times
    bool text;    // a text line's text
};

Visible VisibleParts(const LineObject& line, bool fullView)
{
    Visible visible;
    visible.bid = &line.m_bid;
    visible.offer = &line.m_offer;
    visible.prices = fullView || ((line.m_lineFlags | line.m_issueFlags) & kWithheld) == 0;
    visible.text = fullView || (line.m_lineFlags & kWithheld) == 0;
    const bool issueShown = fullView || (line.m_issueFlags & kWithheld) == 0;
    visible.issue = issueShown ? Cut(line.m_issueName, kIssueWidth) : std::string();
    return visible;
}

std::string Price(const Visible& visible, const std::string& text)
{
    return visible.prices ? text : std::string();
}

std::string FieldLineText(const LineObject& line, int style, bool fullView)
{
    const Visible v = VisibleParts(line, fullView);
    const std::string bidRate = Price(v, v.bid->m_rate);
    const std::string offerRate = Price(v, v.offer->m_rate);
    const std::string bidQuantity = Price(v, v.bid->m_quantity);
    const std::string offerQuantity = Price(v, v.offer->m_quantity);
    const bool noRates = bidRate.empty() && offerRate.empty();
    switch (style) {
    case COPY_SINGLE_COLUMN:
        return Left(v.issue, 12) + " " + Right(bidRate, 6) + "/" + Left(offerRate, 6) + " " + Right(bidQuantity, 6) +
               "X" + Left(offerQuantity, 6);
    case COPY_TWO_COLUMN:
        if (noRates)
            return Left(v.issue, 12);
        return Left(v.issue, 12) + " " + Right(bidRate, 6) + "/" + Left(offerRate, 6);
    case COPY_DELIMITED:
        return v.issue + "\t" + bidRate + "\t/\t" + offerRate + "\t" + bidQuantity + "\tX\t" + offerQuantity;
    case COPY_INDICATIVE:
        if (noRates)
            return Left(v.issue, 12);
        return Left(v.issue, 12) + " " + Right(Price(v, v.bid->m_indicative), 8) + " " + Right(bidRate, 6) + "/" +
               Left(offerRate, 6) + " " + Left(Price(v, v.offer->m_indicative), 8);
    default:
        return {};
    }
}

std::string TextLineText(const LineObject& line, int style, bool fullView)
{
    const std::string text = VisibleParts(line, fullView).text ? line.m_text : std::string();
    switch (style) {
    case COPY_SINGLE_COLUMN: return Left(Cut(text, 40), 40);
    case COPY_TWO_COLUMN: return Left(Cut(text, 26), 40);
    default: return Left(text, 40);
    }
}

std::string TradeStatus(const LineSide& side, bool pricesShown)
{
    switch (DisplayStateOf(side.m_attribute, false)) {
    case DS_TRADING: return "-- TRADING --";
    case DS_ERROR: return "-- ERROR --";
    case DS_LINE_FULL: return "-- LINEFULL --";
    case DS_NO_LINE: return "-- NOLINE --";
    default: return pricesShown ? side.m_lastTradeTime : std::string();
    }
}

std::string TradeMonitorText(const LineObject& line, bool fullView)
{
    const Visible v = VisibleParts(line, fullView);
    const bool offer = IsOfferSideTradeLine(line);
    const LineSide& side = offer ? line.m_offer : line.m_bid;
    return Left(v.issue, 12) + " " + Right(Price(v, side.m_rate), 6) + (offer ? " OFFER @ " : "  BID  @ ") +
           Right(TradeStatus(side, v.prices), 8);
}

} // namespace

const std::array<CopyStyleInfo, 6>& CopyStyles()
{
    static const std::array<CopyStyleInfo, 6> styles = {{
        {COPY_SINGLE_COLUMN, "Single Column Text", "Single Column Text"},
        {COPY_TWO_COLUMN, "Two Column Text", "Two Column Text"},
        {COPY_DELIMITED, "Single Column Delimited", "Single Column Delimited"},
        {COPY_INDICATIVE, "Single Column Text w/Indicative", "Single Column Text with Indicativates"},
        {COPY_EXCEL_DATA_LINKS, "MS Excel DDE Data Links", "Excel DDE Data Link Format"},
        {COPY_EXCEL_TEXT_LINKS, "MS Excel DDE Text Links", "Excel DDE Text Link Format"},
    }};
    return styles;
}

int ValidCopyStyle(int style)
{
    return style >= COPY_SINGLE_COLUMN && style <= COPY_EXCEL_TEXT_LINKS ? style : COPY_SINGLE_COLUMN;
}

std::string ClipboardLineText(const LineObject& line, int style, bool fullView)
{
    switch (line.m_kind) {
    case 'T': return TextLineText(line, style, fullView);
    case 'M': return TradeMonitorText(line, fullView);
    default: return FieldLineText(line, style, fullView);
    }
}

std::string ClipboardPageText(const std::vector<unsigned>& keys, const std::function<LineRef(unsigned)>& lines,
                              int style, bool fullView)
{
    std::string text;
    if (style == COPY_EXCEL_DATA_LINKS || style == COPY_EXCEL_TEXT_LINKS) {
        static const char* const dataItems[] = {"LINE",          "ISSUENAME",     "BIDATTR",     "BIDREALRATE",
                                                "OFFERREALRATE", "OFFERATTR",     "BIDREALQUAN", "OFFERREALQUAN"};
        for (unsigned key : keys) {
            const std::string topic = MakeDdeTopic(key);
            if (style == COPY_EXCEL_TEXT_LINKS) {
                text += "=MAVO|" + topic + "!'TEXT'\r\n";
                continue;
            }
            for (std::size_t i = 0; i < std::size(dataItems); ++i) {
                if (i > 0)
                    text += "\t";
                text += "=MAVO|" + topic + "!'" + dataItems[i] + "'";
            }
            text += "\r\n";
        }
        return text;
    }
    std::vector<std::string> rows;
    rows.reserve(keys.size());
    for (unsigned key : keys) {
        LineRef line = lines ? lines(key) : nullptr;
        rows.push_back(line ? ClipboardLineText(*line, style, fullView) : std::string());
    }
    if (style == COPY_TWO_COLUMN) {
        const std::size_t left = (rows.size() + 1) / 2;
        for (std::size_t i = 0; i < left; ++i) {
            const std::size_t right = left + i;
            if (right < rows.size())
                text += Left(rows[i], 26) + " " + Left(rows[right], 26) + "\r\n";
            else
                text += Left(rows[i], 26) + "\r\n";
        }
        return text;
    }
    for (const auto& row : rows)
        text += row + "\r\n";
    return text;
}

bool CopyText(const std::function<std::string()>& build, const std::function<bool(const std::string&)>& replace)
{
    std::string text;
    try {
        text = build();
    } catch (const std::exception&) {
        return false;
    }
    return replace(text);
}

} // namespace mavo
