// monitor_stream and the global mstr: operator-readable status lines
// (application start and stop, service and client connections, heartbeats)
// appended to a monitor log file; status_text and its derived types, which
// write one such status into the stream.
//
// Contract
// - The file name and heartbeat interval come from the registry section
//   "/Software/Halvern/<application>" (current user first, then local
//   machine): "Monitor Log File" and "Monitor Heartbeat". A stored name with
//   Windows separators is used with '/' in their place, and every missing
//   directory on its way is created. With nothing stored, enable() falls back
//   to a file under $XDG_STATE_HOME/brindle/monitor (default
//   ~/.local/state/brindle/monitor), or /var/log/brindle for root:
//   "<application>_Monitor.Log", stored under the local machine, or
//   "Monitor.Log" when that section cannot be opened.
// - The stream is set up on first use, not while the library loads: the
//   first call looks the name up; a stored name enables the stream.
// - Insertions append to the line being built only while the stream is
//   enabled. WriteLog appends "YYYY/MM/DD hh:mm:ss - <application> - <text>"
//   and a line end to the file and empties the line; failures are swallowed
//   (the line is then lost). Numbers never follow the process locale.
// - heartbeat(now): true on the first call and then once per interval
//   (60 s unless stored; 60 is stored under the local machine when absent).
//
// Thread-safety: every member may be called from any thread: insertions,
// WriteLog, heartbeat, enable and disable each hold the system lock, so a
// line built with one insertion stays whole (lines built with several
// insertions from two threads at once may interleave).
#pragma once

#include "Brindle/base/Timestamp.h"

#include <sstream>
#include <string>
#include <type_traits>

namespace Brindle {

class monitor_stream {
public:
    monitor_stream();
    monitor_stream(const monitor_stream&) = delete;
    monitor_stream& operator=(const monitor_stream&) = delete;
    virtual ~monitor_stream();

    // Enables the stream and looks the file name up again, creating the
    // fallback when nothing is stored.
    void enable();
    void disable();
    bool enabled();

    // The text being built (not locked: for the caller that holds the
    // system lock).
    std::ostringstream& GetOstr() { return m_stream; }
    std::string GetFileName();

    monitor_stream& operator<<(const std::string& text);
    monitor_stream& operator<<(const char* text);
    monitor_stream& operator<<(char c);
    template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>>
    monitor_stream& operator<<(T value)
    {
        return Append(std::to_string(value));
    }

    monitor_stream& WriteLog();
    bool heartbeat(const CTimestamp& now);

    // Forgets what was looked up, so the next use reads the registry again
    // (the application name may have changed).
    void Reset();

protected:
    long GetHeartbeatInterval();
    std::string FindFileName();

private:
    monitor_stream& Append(const std::string& text);
    // Caller holds the system lock.
    void SetUp();

    bool m_enabled = false;
    CTimestamp m_nextHeartbeat;
    long m_interval = 0;
    std::string m_fileName;
    std::ostringstream m_stream;
    bool m_setUp = false;
};

// The process's monitor stream.
extern monitor_stream mstr;

enum STATUS_TYPE : int {
    STATUS_SERVICE_LISTEN = 0,
    STATUS_SERVICE_OPEN = 1,
    STATUS_SERVICE_CLOSE = 2,
    STATUS_SERVICE_STATUS = 3,
    STATUS_CLIENT_OPEN = 4,
    STATUS_CLIENT_CLOSE = 5,
};

enum STATUS_TEXT : int {
    STATUS_APPLICATION_START = 0,
    STATUS_APPLICATION_SHUTDOWN = 1,
};

// One status: "(<opener>|<name>|<value>)" in the monitor stream.
class status_text {
public:
    status_text(STATUS_TYPE type, const std::string& name) : m_type(type), m_name(name) {}
    status_text(STATUS_TYPE type, const std::string& name, const std::string& value)
        : m_type(type), m_name(name), m_value(value)
    {
    }
    // Any socket with GetAddress (a CCommSocket, a CWSASocket): its address
    // is the value; a null socket gives an empty value.
    template <typename Socket, typename = std::enable_if_t<std::is_class_v<Socket>>>
    status_text(STATUS_TYPE type, const std::string& name, const Socket* socket)
        : m_type(type), m_name(name), m_value(socket != nullptr ? socket->GetAddress() : std::string())
    {
    }
    virtual ~status_text() = default;

    STATUS_TYPE GetType() const { return m_type; }
    const std::string& GetName() const { return m_name; }
    const std::string& GetValue() const { return m_value; }

    // Appends the status (nothing while the stream is disabled); a type
    // beyond 5 appends "unknown service status".
    void Write(monitor_stream& stream) const;
    // "(Application Start|<version>|<build date>)", "(Application
    // Shutdown|...)", or "unknown status text".
    static void Write(monitor_stream& stream, STATUS_TEXT which);

private:
    STATUS_TYPE m_type;
    std::string m_name;
    std::string m_value;
};

struct service_listen : status_text {
    template <typename Socket>
    service_listen(const std::string& name, const Socket* socket) : status_text(STATUS_SERVICE_LISTEN, name, socket)
    {
    }
};
struct service_open : status_text {
    template <typename Socket>
    service_open(const std::string& name, const Socket* socket) : status_text(STATUS_SERVICE_OPEN, name, socket)
    {
    }
};
struct service_close : status_text {
    template <typename Socket>
    service_close(const std::string& name, const Socket* socket) : status_text(STATUS_SERVICE_CLOSE, name, socket)
    {
    }
};
// Its value says whether the socket is connected.
struct service_status : status_text {
    template <typename Socket>
    service_status(const std::string& name, const Socket* socket)
        : status_text(STATUS_SERVICE_STATUS, name,
                      std::string(socket != nullptr && socket->Connected() ? "Connected" : "Not Connected"))
    {
    }
};
struct client_open : status_text {
    template <typename Socket>
    client_open(const std::string& name, const Socket* socket) : status_text(STATUS_CLIENT_OPEN, name, socket)
    {
    }
};
struct client_close : status_text {
    template <typename Socket>
    client_close(const std::string& name, const Socket* socket) : status_text(STATUS_CLIENT_CLOSE, name, socket)
    {
    }
};

} // namespace Brindle
