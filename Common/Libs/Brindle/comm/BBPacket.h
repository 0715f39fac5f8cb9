// Page broadcast packets: the fixed-layout text packets of a page broadcast
// feed. CBBHeartbeat, CBBLoadMonitor and CBBClearMonitor, CBBPageData (and
// CBBClearPage), CBBRecordData each hold the fields of one packet kind;
// CreateString renders them. CBBPacketReader (BBPacketReader.h) reads them
// back.
//
// Framing: STX (0x02), a kind character ('%' heartbeat, '.' monitor, '-'
// page data, '"' record data), the sequence character, the fields, ETX
// (0x03), then the LRC: the XOR of every byte after the STX up to and
// including the ETX. Numbers are decimal, zero-filled to their width; texts
// marked "left" are space-filled to their width and never cut.
//
// Contract
// - CreateString gives "" instead of a packet the receiver would misread: a
//   field or code holding a control byte (below 0x20, or 0x7F: an ETX or STX
//   inside a field would end or start a packet), or a number that is
//   negative or wider than its field (it would shift every field after it).
//   A record with no data entries is "" too, as a record packet needs one.
// - A record holds at most 99 data entries, the most its two-digit count can
//   say; AddData refuses the 100th.
// - CreateString does not change the packet: the page data's fields are cut
//   or padded to their widths in the text it gives.
//
// Thread-safety: a packet is a plain value, used by one thread at a time.
// The class-wide broker bank and city codes may be set and read from any
// thread at once (they are copied under a lock).
#pragma once

#include "Brindle/base/Timestamp.h"
#include "Brindle/comm/Var.h"

#include <string>
#include <utility>
#include <vector>

namespace Brindle {

class CMsg;
class CVal;
class CBBPacketReader;

namespace BBText {
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char ESC = 0x1B;
inline constexpr char HEARTBEAT = '%';
inline constexpr char MONITOR = '.';
inline constexpr char PAGE_DATA = '-';
inline constexpr char RECORD_DATA = '"';
// Printable: no byte below 0x20 and no 0x7F.
bool IsPrintable(const std::string& text);
} // namespace BBText

class CBBPacket {
public:
    CBBPacket();
    virtual ~CBBPacket();
    // The packet text, or "" when the fields cannot be rendered (see above).
    virtual std::string CreateString() const = 0;

    const CTimestamp& GetTimestamp() const { return m_timestamp; }
    void SetTimestamp(const CTimestamp& timestamp) { m_timestamp = timestamp; }
    char GetSequence() const { return m_sequence; }
    void SetSequence(char sequence) { m_sequence = sequence; }

    // Shared by every packet. Default "KTRV" and "NYC". A code with a
    // control byte is refused (false, the code stays).
    static bool SetBrokerBankCode(const std::string& code);
    static std::string GetBrokerBankCode();
    static bool SetCityCode(const std::string& code);
    static std::string GetCityCode();

    // XOR of every byte after the first; 0 for texts shorter than 2 bytes.
    static char ComputeLRC(const std::string& text);

protected:
    // "HH:MM:SS" in UTC.
    static std::string FormatGMT(const CTimestamp& timestamp);
    // Appends value zero-filled to width; false when it is negative or wider.
    static bool AppendNumber(std::string& out, long value, int width);
    // Appends text space-filled on the right to width (never cut).
    static void AppendLeft(std::string& out, const std::string& text, std::size_t width);
    // Appends text space-filled on the left to width (never cut).
    static void AppendRight(std::string& out, const std::string& text, std::size_t width);
    // Appends ETX and the LRC over what follows the STX.
    static std::string Close(std::string out);

private:
    CTimestamp m_timestamp;
    char m_sequence = '0';
};

class CBBHeartbeat : public CBBPacket {
public:
    std::string CreateString() const override;
};

class CBBLoadMonitor : public CBBPacket {
public:
    std::string CreateString() const override;

    bool get_flag() const { return m_flag; }
    int get_code_number() const { return m_codeNumber; }
    const std::string& get_security_id() const { return m_securityId; }
    void set_security_id(const std::string& value) { m_securityId = value; }
    const std::string& get_security_short_name() const { return m_securityShortName; }
    void set_security_short_name(const std::string& value) { m_securityShortName = value; }
    const std::string& get_function_name() const { return m_functionName; }
    void set_function_name(const std::string& value) { m_functionName = value; }
    const std::string& get_monitor_id() const { return m_monitorId; }
    void set_monitor_id(const std::string& value) { m_monitorId = value; }
    int get_foreground_color() const { return m_foregroundColor; }
    void set_foreground_color(int value) { m_foregroundColor = value; }
    bool get_maturity_order() const { return m_maturityOrder; }
    void set_maturity_order(bool value) { m_maturityOrder = value; }
    int get_monitor_number() const { return m_monitorNumber; }
    void set_monitor_number(int value) { m_monitorNumber = value; }
    int get_page() const { return m_page; }
    void set_page(int value) { m_page = value; }
    int get_row() const { return m_row; }
    void set_row(int value) { m_row = value; }

    // Maturity order as monitor n.
    void SetMaturityOrder(int n);
    // Absolute order as monitor n, at that page and row.
    void SetAbsoluteOrder(int n, int page, int row);

private:
    friend class CBBPacketReader;
    bool m_flag = false;
    int m_codeNumber = 8;
    std::string m_securityId;
    std::string m_securityShortName;
    std::string m_functionName = "GDCO";
    std::string m_monitorId;
    int m_foregroundColor = 2;
    bool m_maturityOrder = true;
    int m_monitorNumber = 0;
    int m_page = 0;
    int m_row = 0;
};

class CBBClearMonitor : public CBBPacket {
public:
    std::string CreateString() const override;

    const std::string& get_function_name() const { return m_functionName; }
    void set_function_name(const std::string& value) { m_functionName = value; }
    const std::string& get_monitor_id() const { return m_monitorId; }
    void set_monitor_id(const std::string& value) { m_monitorId = value; }
    int get_monitor_number() const { return m_monitorNumber; }
    void set_monitor_number(int value) { m_monitorNumber = value; }
    bool get_suppress_prices() const { return m_suppressPrices; }
    void set_suppress_prices(bool value) { m_suppressPrices = value; }

private:
    std::string m_functionName = "GDCO";
    std::string m_monitorId;
    int m_monitorNumber = 0;
    bool m_suppressPrices = false;
};

class CBBPageData : public CBBPacket {
public:
    static constexpr std::size_t MAX_TEXT = 160;

    std::string CreateString() const override;

    const std::string& get_contributor_id() const { return m_contributorId; }
    void set_contributor_id(const std::string& value) { m_contributorId = value; }
    const std::string& get_product_code() const { return m_productCode; }
    void set_product_code(const std::string& value) { m_productCode = value; }
    int get_page() const { return m_page; }
    void set_page(int value) { m_page = value; }
    int get_row() const { return m_row; }
    void set_row(int value) { m_row = value; }
    int get_column() const { return m_column; }
    void set_column(int value) { m_column = value; }
    const std::string& get_access_type() const { return m_accessType; }
    void set_access_type(const std::string& value) { m_accessType = value; }
    const std::string& get_security_id() const { return m_securityId; }
    void set_security_id(const std::string& value) { m_securityId = value; }
    const std::string& get_text() const { return m_text; }
    void set_text(const std::string& value) { m_text = value; }

    // Access type "99", row 1, column 1, security id "ACLEARPG", 80 spaces.
    void SetClearPage();

private:
    std::string m_contributorId;
    std::string m_productCode;
    int m_page = 0;
    int m_row = 0;
    int m_column = 0;
    std::string m_accessType;
    std::string m_securityId;
    std::string m_text;
};

class CBBClearPage : public CBBPageData {
public:
    CBBClearPage() { SetClearPage(); }
};

class CBBRecordData : public CBBPacket {
public:
    static constexpr std::size_t MAX_ENTRIES = 99;
    using entry_type = std::pair<char, std::string>;

    std::string CreateString() const override;

    const std::string& get_record_type() const { return m_recordType; }
    void set_record_type(const std::string& value) { m_recordType = value; }
    char get_id_type() const { return m_idType; }
    void set_id_type(char value) { m_idType = value; }
    const std::string& get_security_id() const { return m_securityId; }
    void set_security_id(const std::string& value) { m_securityId = value; }
    char get_condition_code() const { return m_conditionCode; }
    void set_condition_code(char value) { m_conditionCode = value; }
    const std::vector<entry_type>& get_data() const { return m_data; }
    void clear_data() { m_data.clear(); }

    // Appends (code, value text); false when the record is full.
    bool AddData(char code, const CVar& value);
    // Appends (the id's one character, value text) when the id is exactly
    // one character long; false (nothing added) otherwise or when full.
    bool AddData(const CVal& value);
    // Appends to msg a record "DATA" with one value per entry (id the code,
    // text the value), in order. A null msg is ignored.
    void AddRecord(CMsg* msg) const;
    // A security id and at least one entry.
    bool IsValid() const { return !m_securityId.empty() && !m_data.empty(); }

private:
    std::string m_recordType = "70";
    char m_idType = '2';
    std::string m_securityId;
    char m_conditionCode = ' ';
    std::vector<entry_type> m_data;
};

} // namespace Brindle
