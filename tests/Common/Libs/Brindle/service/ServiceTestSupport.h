// Helpers of the service frame's tests: scratch surroundings of a run,
// files read whole, systemd's unit verifier, datagrams waiting, and syslog
// lines taken apart.
#pragma once

#include "ChildProcess.h"
#include "DatagramPeer.h"
#include "FileText.h"
#include "TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace servicetest {

using testsupport::ScopedEnv;
using testsupport::ReadFile;

// systemd's verdict on a unit file (its output in *output); -1 when the
// verifier is not installed.
inline int VerifyUnit(const std::string& unit, std::string* output)
{
    if (::access("/usr/bin/systemd-analyze", X_OK) != 0)
        return -1;
    testsupport::ChildProcess verify({"/usr/bin/systemd-analyze", "verify", unit});
    const int status = verify.Wait();
    *output = verify.Stdout() + verify.Stderr();
    return status;
}

// Every datagram waiting on the peer.
inline std::vector<std::string> Drain(testsupport::DatagramPeer& peer)
{
    std::vector<std::string> got;
    for (std::string m = peer.Receive(std::chrono::milliseconds(0)); !m.empty();
         m = peer.Receive(std::chrono::milliseconds(0)))
        got.push_back(m);
    return got;
}

// The scratch places a run needs: units, PID files, registry, no manager
// and no syslog of the machine's.
struct Scratch {
    testsupport::TempDir dir;
    ScopedEnv units{"BRINDLE_UNIT_DIR", dir.str()};
    ScopedEnv run{"BRINDLE_RUN_DIR", dir.str() + "/run"};
    ScopedEnv registry{"BRINDLE_REGISTRY_DIR", dir.str() + "/registry"};
    ScopedEnv syslog{"BRINDLE_SYSLOG_SOCKET", dir.str() + "/no-syslog"};
    ScopedEnv notify{"NOTIFY_SOCKET", nullptr};
    ScopedEnv invocation{"INVOCATION_ID", nullptr};
};

// Scratch places, with a syslog socket of the test's.
struct Logged : Scratch {
    testsupport::DatagramPeer syslog{dir.str() + "/syslog"};
    ScopedEnv socket{"BRINDLE_SYSLOG_SOCKET", dir.str() + "/syslog"};
};

// Facility daemon with the severities of the event types.
constexpr int PriInformation = 3 * 8 + 6, PriWarning = 3 * 8 + 4, PriError = 3 * 8 + 3;

// The unit file the frame writes, line by line.
inline std::vector<std::string> UnitLines(const std::string& description, const std::string& execStart)
{
    return {"[Unit]", "Description=" + description, "", "[Service]", "Type=notify", "NotifyAccess=main",
            "ExecStart=" + execStart, "KillSignal=SIGTERM", "", "[Install]", "WantedBy=multi-user.target"};
}

// The states the frame reports to the service manager.
namespace states {
const std::string StartPending = "STATUS=Start pending";
const std::string Running = "READY=1\nSTATUS=Running";
const std::string StopAsked = "STOPPING=1\nSTATUS=Stop pending (check point 1)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string WorkEnded = "STOPPING=1\nSTATUS=Stop pending (check point 2)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string LoopEnded = "STOPPING=1\nSTATUS=Stop pending (check point 10)\nEXTEND_TIMEOUT_USEC=30000000";
const std::string Stopped = "STATUS=Stopped";
const std::string StoppedFailed = "STATUS=Stopped\nERRNO=" + std::to_string(ECANCELED);
} // namespace states

// An RFC 3164 line "<PRI>Mmm dd hh:mm:ss [host ]ident[pid]: text" taken
// apart (the host is left out on a local socket); pri is -1 when the line
// has not that form.
struct SyslogLine {
    int pri = -1;
    std::string ident;
    std::string text;
};

inline SyslogLine ParseSyslog(const std::string& line)
{
    SyslogLine out;
    if (line.size() < 3 || line[0] != '<')
        return out;
    const std::size_t close = line.find('>');
    if (close == std::string::npos || close < 2)
        return out;
    const std::size_t afterStamp = close + 1 + 15; // "Mmm dd hh:mm:ss"
    if (line.size() <= afterStamp + 1 || line[afterStamp] != ' ')
        return out;
    const std::size_t colon = line.find(": ", afterStamp + 1);
    if (colon == std::string::npos)
        return out;
    std::string ident = line.substr(afterStamp + 1, colon - afterStamp - 1);
    const std::size_t space = ident.rfind(' ');
    if (space != std::string::npos)
        ident.erase(0, space + 1);
    const std::size_t bracket = ident.find('[');
    if (bracket != std::string::npos)
        ident.resize(bracket);
    out.pri = std::atoi(line.substr(1, close - 1).c_str());
    out.ident = ident;
    out.text = line.substr(colon + 2);
    return out;
}

// The lines of a text.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace servicetest
