// brindle-heartbeat: a small service on the service frame. While it runs it
// writes a heartbeat line to the system log every few seconds (and, run as
// a process, to standard output); user commands sent to it are logged in
// the order they arrive.
//
// Its own options, taken out before the frame sees the command line:
//   -interval <ms>  time between heartbeats (100 to 3600000; default 5000),
//                   checked when the service starts
//   -beats <n>      end the work after n heartbeats (default: never)
//   -send <code>    send a user command to the running service and end
//   --help          usage and options
#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Timestamp.h"
#include "Brindle/service/Service.h"

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char* const ServiceName = "brindle-heartbeat";
const char* const Options = "\nOptions:\n"
                            "-interval <ms>  time between heartbeats (100 to 3600000, default 5000)\n"
                            "-beats <n>      end the work after n heartbeats\n"
                            "-send <code>    send a user command to the running service\n"
                            "--help          this text\n";

bool ParseNumber(const std::string& text, long long& value)
{
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && !text.empty();
}

class CHeartbeatService : public Brindle::CService {
public:
    CHeartbeatService(std::string interval, long long beats)
        : CService(ServiceName), m_intervalText(std::move(interval)), m_beats(beats)
    {
    }

    void RequestShutdown() override
    {
        CService::RequestShutdown();
        std::lock_guard<std::mutex> hold(m_lock);
        m_wake.notify_all();
    }

protected:
    int ServiceInit() override
    {
        long long ms = 0;
        if (!ParseNumber(m_intervalText, ms) || ms < 100 || ms > 3600000)
            throw Brindle::CException("Heartbeat interval must be 100 to 3600000 ms, not \"" + m_intervalText + "\"",
                                      EINVAL);
        m_intervalMs = ms;
        Print("started, a heartbeat every " + std::to_string(ms) + " ms");
        return 1;
    }

    int ServiceFcn() override
    {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            if (m_wake.wait_for(hold, std::chrono::milliseconds(m_intervalMs), [this] { return InShutdown(); }))
                return 1; // the loop ends on the shutdown request
        }
        const long long beat = ++m_count;
        const std::string count = std::to_string(beat);
        Brindle::CTimestamp stamp;
        stamp.SetNow();
        const std::string now = stamp.FormatISO();
        Log(Brindle::EVENTLOG_INFORMATION_TYPE, "heartbeat", count.c_str(), now.c_str());
        Print("heartbeat " + count);
        return m_beats <= 0 || beat < m_beats ? 1 : 0;
    }

    void ServiceStop() override { Print("stopped after " + std::to_string(m_count.load()) + " heartbeats"); }

    void OnUserCommand(unsigned long code) override
    {
        const std::string text = std::to_string(code);
        const std::string count = std::to_string(m_count.load());
        Log(Brindle::EVENTLOG_INFORMATION_TYPE, "user command", text.c_str(), count.c_str());
        Print("command " + text);
    }

private:
    void Print(const std::string& line)
    {
        if (!IsRunAsProcess())
            return;
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    std::string m_intervalText;
    long long m_beats;
    long long m_intervalMs = 5000;
    // Read by the user commands, which arrive on the frame's control thread.
    std::atomic<long long> m_count{0};
    std::mutex m_lock;
    std::condition_variable m_wake;
};

} // namespace

int main(int argc, char** argv)
{
    Brindle::SetLocalApplicationName(ServiceName);
    Brindle::SetLocalVersion(BRINDLE_VERSION);
    Brindle::SetLocalBuildDate(__DATE__);
    Brindle::SetAppDescription("Writes a heartbeat line to the system log every few seconds while it runs as a "
                               "service, and logs the user commands it is sent.");

    std::string interval = "5000";
    long long beats = 0;
    std::string send;
    std::vector<char*> frameArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s%s", Brindle::CService::UsageText().c_str(), Options);
            return 0;
        }
        if ((arg == "-interval" || arg == "-beats" || arg == "-send") && !hasValue) {
            std::fprintf(stderr, "%s: %s needs a value\n", ServiceName, arg.c_str());
            return 2;
        }
        if (arg == "-interval") {
            interval = argv[++i];
        } else if (arg == "-beats") {
            if (!ParseNumber(argv[++i], beats) || beats < 0) {
                std::fprintf(stderr, "%s: -beats takes a count, not \"%s\"\n", ServiceName, argv[i]);
                return 2;
            }
        } else if (arg == "-send") {
            send = argv[++i];
        } else {
            frameArgs.push_back(argv[i]);
        }
    }

    try {
        CHeartbeatService service(interval, beats);
        if (!send.empty()) {
            long long code = 0;
            if (!ParseNumber(send, code) || code < 0 || code > 0xFFFFFFFFll) {
                std::fprintf(stderr, "%s: -send takes a control code, not \"%s\"\n", ServiceName, send.c_str());
                return 2;
            }
            const int result = service.SendUserCommand(static_cast<unsigned long>(code));
            if (result != 0) {
                char text[512];
                Brindle::GetLastErrorMsg(text, sizeof text);
                std::printf("%s%s\n", Brindle::CService::ResultPrefix(result), text);
            }
            return result;
        }
        return service.Main(static_cast<int>(frameArgs.size()), frameArgs.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ServiceName, e.what());
        return 1;
    }
}
