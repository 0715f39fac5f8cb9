#include "Brindle/comm/BBPacketReader.h"

#include <ctime>

namespace Brindle {

namespace {

constexpr long kDay = 24 * 60 * 60;

// Reads the fields of a packet body in order; the first failure sticks.
class Fields {
public:
    explicit Fields(std::string_view body) : m_body(body) {}

    bool ok() const { return m_ok; }
    bool AtEnd() const { return m_ok && m_at == m_body.size(); }
    std::size_t Left() const { return m_body.size() - m_at; }

    std::string_view Take(std::size_t n)
    {
        if (!m_ok || n > m_body.size() - m_at) {
            m_ok = false;
            return {};
        }
        const std::string_view out = m_body.substr(m_at, n);
        m_at += n;
        return out;
    }
    void Expect(std::string_view literal)
    {
        if (Take(literal.size()) != literal)
            m_ok = false;
    }
    void Spaces(std::size_t n) { Expect(std::string(n, ' ')); }
    long Number(std::size_t n)
    {
        const std::string_view digits = Take(n);
        long value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                m_ok = false;
                return 0;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    }
    // A text space-filled on the right, without its fill.
    std::string Left(std::size_t n)
    {
        std::string_view text = Take(n);
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        return std::string(text);
    }
    // A text space-filled on the left, without its fill.
    std::string Right(std::size_t n)
    {
        std::string_view text = Take(n);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        return std::string(text);
    }
    char Char() { return Take(1).empty() ? '\0' : m_body[m_at - 1]; }
    // "HH:MM:SS", as the packet time nearest to now (utc or local).
    CTimestamp Time(bool utc)
    {
        const std::string_view hms = Take(8);
        if (!m_ok || hms[2] != ':' || hms[5] != ':') {
            m_ok = false;
            return {};
        }
        Fields parts(hms);
        const long h = parts.Number(2);
        parts.Take(1);
        const long m = parts.Number(2);
        parts.Take(1);
        const long s = parts.Number(2);
        if (!parts.ok() || h > 23 || m > 59 || s > 59) {
            m_ok = false;
            return {};
        }
        const time_t now = std::time(nullptr);
        time_t at;
        if (utc) {
            at = now - now % kDay + h * 3600 + m * 60 + s;
        } else {
            tm local{};
            localtime_r(&now, &local);
            local.tm_hour = static_cast<int>(h);
            local.tm_min = static_cast<int>(m);
            local.tm_sec = static_cast<int>(s);
            local.tm_isdst = -1;
            at = mktime(&local);
        }
        if (at - now > kDay / 2)
            at -= kDay;
        else if (now - at > kDay / 2)
            at += kDay;
        return CTimestamp(static_cast<long>(at));
    }

private:
    std::string_view m_body;
    std::size_t m_at = 0;
    bool m_ok = true;
};

BBREAD Refuse(std::string* why, const char* text)
{
    if (why != nullptr)
        *why = text;
    return BB_READ_BAD;
}

// The fields of each kind, after STX, kind and sequence; null when they do
// not lie where the layout puts them.
std::unique_ptr<CBBPacket> ReadHeartbeat(std::string_view body, const std::string& bank)
{
    Fields f(body);
    f.Expect(" ");
    f.Expect(bank);
    if (!f.AtEnd())
        return nullptr;
    return std::make_unique<CBBHeartbeat>();
}

std::unique_ptr<CBBPacket> ReadPageData(std::string_view body)
{
    Fields f(body);
    auto packet = std::make_unique<CBBPageData>();
    packet->set_contributor_id(f.Left(2));
    packet->SetTimestamp(f.Time(false));
    f.Expect("05");
    f.Expect(" 1");
    packet->set_product_code(f.Left(2));
    packet->set_page(static_cast<int>(f.Number(5)));
    packet->set_row(static_cast<int>(f.Number(2)));
    packet->set_column(static_cast<int>(f.Number(2)));
    const auto length = static_cast<std::size_t>(f.Number(3));
    packet->set_access_type(f.Left(2));
    packet->set_security_id(f.Left(14));
    f.Spaces(7);
    if (!f.ok() || length > CBBPageData::MAX_TEXT || f.Left() != length)
        return nullptr;
    packet->set_text(std::string(f.Take(length)));
    if (!f.AtEnd())
        return nullptr;
    // A clear-page packet reads as one.
    CBBClearPage clear;
    if (packet->get_access_type() == clear.get_access_type() && packet->get_security_id() == clear.get_security_id() &&
        packet->get_row() == clear.get_row() && packet->get_column() == clear.get_column() &&
        packet->get_text() == clear.get_text()) {
        auto cleared = std::make_unique<CBBClearPage>();
        cleared->set_contributor_id(packet->get_contributor_id());
        cleared->set_product_code(packet->get_product_code());
        cleared->set_page(packet->get_page());
        cleared->SetTimestamp(packet->GetTimestamp());
        return cleared;
    }
    return packet;
}

std::unique_ptr<CBBPacket> ReadRecordData(std::string_view body, const std::string& codes)
{
    // The record type is free text before the codes.
    const std::size_t at = body.find(codes);
    if (at == std::string_view::npos)
        return nullptr;
    auto packet = std::make_unique<CBBRecordData>();
    packet->set_record_type(std::string(body.substr(0, at)));
    Fields f(body.substr(at + codes.size()));
    packet->SetTimestamp(f.Time(true));
    packet->set_id_type(f.Char());
    packet->set_security_id(f.Left(12));
    const auto count = static_cast<std::size_t>(f.Number(2));
    if (!f.ok() || count == 0 || f.Left() < count * 15 + 1)
        return nullptr;
    // Values are 14 wide unless longer; only a lone value's length can be
    // told from the packet's.
    const std::size_t valueWidth = count == 1 ? f.Left() - 2 : 14;
    if (count > 1 && f.Left() != count * 15 + 1)
        return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const char code = f.Char();
        packet->AddData(code, CVar(f.Left(valueWidth)));
    }
    packet->set_condition_code(f.Char());
    if (!f.AtEnd())
        return nullptr;
    return packet;
}

// A load monitor's flag and code number have no setter: they come back in
// flag and codeNumber for the reader to fill in.
std::unique_ptr<CBBPacket> ReadMonitor(std::string_view body, const std::string& codes, bool& loadFlag,
                                       int& codeNumber)
{
    Fields f(body);
    f.Expect(" ");
    const char flag = f.Char();
    f.Expect(codes);
    f.Spaces(6);
    const CTimestamp time = f.Time(true);
    f.Expect("0101");
    if (!f.ok() || f.Left() < 72)
        return nullptr;
    const std::string_view kind = body.substr(body.size() - f.Left() + 70, 2);
    if (kind == "DD") {
        if (flag != ' ')
            return nullptr;
        auto packet = std::make_unique<CBBClearMonitor>();
        packet->SetTimestamp(time);
        f.Spaces(62);
        packet->set_function_name(f.Right(4));
        packet->set_monitor_id(f.Right(4));
        f.Expect("DD");
        f.Spaces(2);
        f.Expect("02");
        f.Spaces(4);
        packet->set_monitor_number(static_cast<int>(f.Number(4)));
        f.Spaces(42);
        const char suppress = f.Char();
        f.Spaces(2);
        f.Expect(std::string(1, BBText::ESC));
        if (!f.AtEnd() || (suppress != 'Y' && suppress != ' '))
            return nullptr;
        packet->set_suppress_prices(suppress == 'Y');
        return packet;
    }
    if (kind != "MA" && kind != "AA")
        return nullptr;
    if (flag != 'Y' && flag != ' ')
        return nullptr;
    auto packet = std::make_unique<CBBLoadMonitor>();
    packet->SetTimestamp(time);
    loadFlag = flag == 'Y';
    codeNumber = static_cast<int>(f.Number(2));
    packet->set_security_id(f.Left(12));
    packet->set_security_short_name(f.Left(14));
    f.Spaces(34);
    packet->set_function_name(f.Right(4));
    packet->set_monitor_id(f.Right(4));
    f.Take(2);
    packet->set_foreground_color(static_cast<int>(f.Number(2)));
    f.Expect("02");
    f.Spaces(4);
    const int number = static_cast<int>(f.Number(4));
    if (kind == "MA") {
        f.Spaces(43);
        packet->SetMaturityOrder(number);
    } else {
        const int page = static_cast<int>(f.Number(4));
        f.Spaces(31);
        const int row = static_cast<int>(f.Number(2));
        f.Spaces(6);
        packet->SetAbsoluteOrder(number, page, row);
    }
    f.Spaces(2);
    f.Expect(std::string(1, BBText::ESC));
    if (!f.AtEnd())
        return nullptr;
    return packet;
}

} // namespace

BBREAD CBBPacketReader::Read(std::string_view data, std::size_t& used, std::unique_ptr<CBBPacket>& packet,
                             std::string* why)
{
    packet.reset();
    used = 0;
    if (data.empty())
        return BB_READ_INCOMPLETE;
    if (data[0] != BBText::STX) {
        const std::size_t stx = data.find(BBText::STX);
        used = stx == std::string_view::npos ? data.size() : stx;
        return Refuse(why, "bytes outside a packet");
    }
    std::size_t etx = 1;
    for (; etx < data.size(); ++etx) {
        if (data[etx] == BBText::ETX)
            break;
        if (data[etx] == BBText::STX) {
            used = etx;
            return Refuse(why, "packet cut short by the next one");
        }
        if (etx >= MAX_PACKET) {
            used = 1;
            return Refuse(why, "packet too long");
        }
    }
    if (etx + 1 >= data.size())
        return BB_READ_INCOMPLETE;
    used = etx + 2;
    const std::string framed(data.substr(0, etx + 1));
    if (CBBPacket::ComputeLRC(framed) != data[etx + 1])
        return Refuse(why, "wrong LRC");
    if (etx < 3)
        return Refuse(why, "packet too short");
    const char kind = data[1];
    const char sequence = data[2];
    // Fields are printable; only a monitor ends with an ESC before its ETX.
    for (std::size_t i = 2; i < etx; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if ((b < 0x20 || b == 0x7F) && !(kind == BBText::MONITOR && i + 1 == etx && data[i] == BBText::ESC))
            return Refuse(why, "control byte in a field");
    }
    const std::string_view body = data.substr(3, etx - 3);
    const std::string city = CBBPacket::GetCityCode();
    const std::string bank = CBBPacket::GetBrokerBankCode();
    std::unique_ptr<CBBPacket> read;
    switch (kind) {
    case BBText::HEARTBEAT:
        read = ReadHeartbeat(body, bank);
        break;
    case BBText::MONITOR: {
        bool flag = false;
        int codeNumber = 0;
        read = ReadMonitor(body, city + bank, flag, codeNumber);
        if (auto* load = dynamic_cast<CBBLoadMonitor*>(read.get())) {
            load->m_flag = flag;
            load->m_codeNumber = codeNumber;
        }
        break;
    }
    case BBText::PAGE_DATA:
        read = ReadPageData(body);
        break;
    case BBText::RECORD_DATA:
        read = ReadRecordData(body, city + bank);
        break;
    default:
        return Refuse(why, "unknown packet kind");
    }
    if (!read)
        return Refuse(why, "fields out of place");
    read->SetSequence(sequence);
    packet = std::move(read);
    return BB_READ_PACKET;
}

BBREAD CBBPacketReader::Next(std::unique_ptr<CBBPacket>& packet)
{
    std::size_t used = 0;
    const BBREAD result = Read(m_buffer, used, packet, &m_error);
    m_buffer.erase(0, used);
    return result;
}

} // namespace Brindle
