// The local system log: RFC 3164 lines, one datagram each, to the Unix
// datagram socket that $BRINDLE_SYSLOG_SOCKET names, else /dev/log.
//
// Contract
// - A line reads "<PRI>Mmm dd hh:mm:ss ident[pid]: text": PRI =
//   facility * 8 + severity; the time in local time with C-locale month
//   names and the day padded with a space. Lines to the local socket carry
//   no host name, as local syslog readers expect (rsyslog and journald take
//   a word in that place for the program's name; the reader adds the host
//   itself). FormatSyslogLines puts "host " before the ident when given one,
//   for lines that travel to another machine.
// - Texts never carry control bytes onto the line: each CR LF pair, and each
//   other byte 0-31 or 127, becomes a single space; trailing spaces made that
//   way are dropped. The ident keeps letters, digits and "-_./@"; anything
//   else becomes '_' (an empty ident reads "-").
// - A text longer than MaxTextBytes goes out as consecutive lines of at most
//   that many bytes each, cut between UTF-8 characters, so nothing is lost to
//   a datagram size limit.
// - A send waits at most SendTimeoutMs for a full socket; failures are
//   reported as false and otherwise ignored (no syslog, no error).
//
// Thread-safety: a CSyslogSocket may be used from several threads at once
// (sends are serialised); the free functions are re-entrant.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

inline constexpr int SYSLOG_FACILITY_USER = 1;
inline constexpr int SYSLOG_FACILITY_DAEMON = 3;
inline constexpr int SYSLOG_SEVERITY_ERROR = 3;
inline constexpr int SYSLOG_SEVERITY_WARNING = 4;
inline constexpr int SYSLOG_SEVERITY_INFO = 6;
inline constexpr int SYSLOG_SEVERITY_DEBUG = 7;

// $BRINDLE_SYSLOG_SOCKET when set and not empty, else "/dev/log".
std::string SyslogSocketPath();

// The text with control bytes turned into spaces as above.
std::string SyslogCleanText(std::string_view text);
// The ident with unsafe characters replaced as above.
std::string SyslogCleanIdent(std::string_view ident);

// The lines for one message (more than one when the text is long); an
// empty host leaves the host field out.
std::vector<std::string> FormatSyslogLines(int facility, int severity, std::string_view ident,
                                           std::string_view text, std::time_t when, std::string_view host,
                                           long pid);

class CSyslogSocket {
public:
    static constexpr std::size_t MaxTextBytes = 4000;
    static constexpr int SendTimeoutMs = 1000;

    // Opens an unbound datagram socket; IsOpen says whether that worked.
    CSyslogSocket();
    ~CSyslogSocket();
    CSyslogSocket(const CSyslogSocket&) = delete;
    CSyslogSocket& operator=(const CSyslogSocket&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // errno of a failed open, else 0.
    int OpenError() const { return m_openError; }

    // Sends the message to SyslogSocketPath() as read now (tests move it);
    // true when every line was sent.
    bool Send(int facility, int severity, std::string_view ident, std::string_view text);

private:
    int m_fd = -1;
    int m_openError = 0;
    std::mutex m_lock;
};

} // namespace Platform
