#include "Brindle/comm/BBPacket.h"

#include "Brindle/comm/Msg.h"

#include <cstdio>
#include <mutex>

namespace Brindle {

namespace {

struct ClassCodes {
    std::mutex lock;
    std::string bank = "KTRV";
    std::string city = "NYC";
};

ClassCodes& Codes()
{
    static ClassCodes codes;
    return codes;
}

// Both codes, read together so a packet never mixes an old and a new one.
void GetCodes(std::string& city, std::string& bank)
{
    ClassCodes& codes = Codes();
    std::lock_guard<std::mutex> guard(codes.lock);
    city = codes.city;
    bank = codes.bank;
}

std::string Fit(const std::string& text, std::size_t width)
{
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

} // namespace

bool BBText::IsPrintable(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

CBBPacket::CBBPacket() = default;
CBBPacket::~CBBPacket() = default;

bool CBBPacket::SetBrokerBankCode(const std::string& code)
{
    if (!BBText::IsPrintable(code))
        return false;
    ClassCodes& codes = Codes();
    std::lock_guard<std::mutex> guard(codes.lock);
    codes.bank = code;
    return true;
}

std::string CBBPacket::GetBrokerBankCode()
{
    ClassCodes& codes = Codes();
    std::lock_guard<std::mutex> guard(codes.lock);
    return codes.bank;
}

bool CBBPacket::SetCityCode(const std::string& code)
{
    if (!BBText::IsPrintable(code))
        return false;
    ClassCodes& codes = Codes();
    std::lock_guard<std::mutex> guard(codes.lock);
    codes.city = code;
    return true;
}

std::string CBBPacket::GetCityCode()
{
    ClassCodes& codes = Codes();
    std::lock_guard<std::mutex> guard(codes.lock);
    return codes.city;
}

char CBBPacket::ComputeLRC(const std::string& text)
{
    unsigned char lrc = 0;
    for (std::size_t i = 1; i < text.size(); ++i)
        lrc ^= static_cast<unsigned char>(text[i]);
    return static_cast<char>(lrc);
}

std::string CBBPacket::FormatGMT(const CTimestamp& timestamp)
{
    tm utc{};
    timestamp.GetTimestampGMT(&utc);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

bool CBBPacket::AppendNumber(std::string& out, long value, int width)
{
    if (value < 0)
        return false;
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%0*ld", width, value);
    if (n != width)
        return false;
    out.append(text, static_cast<std::size_t>(n));
    return true;
}

void CBBPacket::AppendLeft(std::string& out, const std::string& text, std::size_t width)
{
    out += text;
    if (text.size() < width)
        out.append(width - text.size(), ' ');
}

void CBBPacket::AppendRight(std::string& out, const std::string& text, std::size_t width)
{
    if (text.size() < width)
        out.append(width - text.size(), ' ');
    out += text;
}

std::string CBBPacket::Close(std::string out)
{
    out += BBText::ETX;
    out += ComputeLRC(out);
    return out;
}

std::string CBBHeartbeat::CreateString() const
{
    std::string city;
    std::string bank;
    GetCodes(city, bank);
    if (!BBText::IsPrintable(std::string(1, GetSequence())))
        return {};
    std::string out{BBText::STX, BBText::HEARTBEAT, GetSequence(), ' '};
    out += bank;
    return Close(std::move(out));
}

void CBBLoadMonitor::SetMaturityOrder(int n)
{
    m_maturityOrder = true;
    m_monitorNumber = n;
}

void CBBLoadMonitor::SetAbsoluteOrder(int n, int page, int row)
{
    m_maturityOrder = false;
    m_monitorNumber = n;
    m_page = page;
    m_row = row;
}

std::string CBBLoadMonitor::CreateString() const
{
    std::string city;
    std::string bank;
    GetCodes(city, bank);
    const std::string sequence(1, GetSequence());
    for (const std::string* text : {&sequence, &m_securityId, &m_securityShortName, &m_functionName, &m_monitorId})
        if (!BBText::IsPrintable(*text))
            return {};
    std::string out{BBText::STX, BBText::MONITOR, GetSequence(), ' ', m_flag ? 'Y' : ' '};
    out += city;
    out += bank;
    out.append(6, ' ');
    out += FormatGMT(GetTimestamp());
    out += "0101";
    bool ok = AppendNumber(out, m_codeNumber, 2);
    AppendLeft(out, m_securityId, 12);
    AppendLeft(out, m_securityShortName, 14);
    out.append(34, ' ');
    AppendRight(out, m_functionName, 4);
    AppendRight(out, m_monitorId, 4);
    out += m_maturityOrder ? "MA" : "AA";
    ok = ok && AppendNumber(out, m_foregroundColor, 2);
    out += "02";
    out.append(4, ' ');
    ok = ok && AppendNumber(out, m_monitorNumber, 4);
    if (m_maturityOrder) {
        out.append(4 + 39, ' ');
    } else {
        ok = ok && AppendNumber(out, m_page, 4);
        out.append(31, ' ');
        ok = ok && AppendNumber(out, m_row, 2);
        out.append(6, ' ');
    }
    if (!ok)
        return {};
    out.append(2, ' ');
    out += BBText::ESC;
    return Close(std::move(out));
}

std::string CBBClearMonitor::CreateString() const
{
    std::string city;
    std::string bank;
    GetCodes(city, bank);
    const std::string sequence(1, GetSequence());
    for (const std::string* text : {&sequence, &m_functionName, &m_monitorId})
        if (!BBText::IsPrintable(*text))
            return {};
    std::string out{BBText::STX, BBText::MONITOR, GetSequence(), ' ', ' '};
    out += city;
    out += bank;
    out.append(6, ' ');
    out += FormatGMT(GetTimestamp());
    out += "0101";
    out.append(28 + 34, ' ');
    AppendRight(out, m_functionName, 4);
    AppendRight(out, m_monitorId, 4);
    out += "DD";
    out.append(2, ' ');
    out += "02";
    out.append(4, ' ');
    if (!AppendNumber(out, m_monitorNumber, 4))
        return {};
    out.append(4 + 38, ' ');
    out += m_suppressPrices ? 'Y' : ' ';
    out.append(2, ' ');
    out += BBText::ESC;
    return Close(std::move(out));
}

void CBBPageData::SetClearPage()
{
    m_accessType = "99";
    m_row = 1;
    m_column = 1;
    m_securityId = "ACLEARPG";
    m_text.assign(80, ' ');
}

std::string CBBPageData::CreateString() const
{
    const std::string sequence(1, GetSequence());
    const std::string contributor = Fit(m_contributorId, 2);
    const std::string product = Fit(m_productCode, 2);
    const std::string access = Fit(m_accessType, 2);
    const std::string security = Fit(m_securityId, 14);
    const std::string text = m_text.substr(0, MAX_TEXT);
    for (const std::string* field : {&sequence, &contributor, &product, &access, &security, &text})
        if (!BBText::IsPrintable(*field))
            return {};
    std::string out{BBText::STX, BBText::PAGE_DATA, GetSequence()};
    out += contributor;
    out += GetTimestamp().FormatHMS();
    out += "05";
    out += " 1";
    out += product;
    if (!AppendNumber(out, m_page, 5) || !AppendNumber(out, m_row, 2) || !AppendNumber(out, m_column, 2) ||
        !AppendNumber(out, static_cast<long>(text.size()), 3))
        return {};
    out += access;
    out += security;
    out.append(7, ' ');
    out += text;
    return Close(std::move(out));
}

bool CBBRecordData::AddData(char code, const CVar& value)
{
    if (m_data.size() >= MAX_ENTRIES)
        return false;
    m_data.emplace_back(code, value.get_value());
    return true;
}

bool CBBRecordData::AddData(const CVal& value)
{
    const std::string& id = value.get_id().get_value();
    if (id.size() != 1)
        return false;
    return AddData(id[0], value.get_value());
}

void CBBRecordData::AddRecord(CMsg* msg) const
{
    if (msg == nullptr)
        return;
    CRec& record = msg->add(CRec(CVar("DATA")));
    for (const entry_type& entry : m_data)
        record.add(CVal(CVar(entry.first), CVar(entry.second)));
}

std::string CBBRecordData::CreateString() const
{
    if (m_data.empty() || m_data.size() > MAX_ENTRIES)
        return {};
    std::string city;
    std::string bank;
    GetCodes(city, bank);
    const std::string sequence(1, GetSequence());
    const std::string idType(1, m_idType);
    const std::string condition(1, m_conditionCode);
    for (const std::string* field : {&sequence, &m_recordType, &idType, &m_securityId, &condition})
        if (!BBText::IsPrintable(*field))
            return {};
    std::string out{BBText::STX, BBText::RECORD_DATA, GetSequence()};
    out += m_recordType;
    out += city;
    out += bank;
    out += FormatGMT(GetTimestamp());
    out += m_idType;
    AppendLeft(out, m_securityId, 12);
    if (!AppendNumber(out, static_cast<long>(m_data.size()), 2))
        return {};
    for (const entry_type& entry : m_data) {
        if (!BBText::IsPrintable(std::string(1, entry.first)) || !BBText::IsPrintable(entry.second))
            return {};
        out += entry.first;
        AppendLeft(out, entry.second, 14);
    }
    out += m_conditionCode;
    return Close(std::move(out));
}

} // namespace Brindle
