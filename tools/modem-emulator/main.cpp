// modem-emulator: a Hayes modem on a terminal, for tests of dialling.
//
//   modem-emulator --line DEV --remote DEV [--answer connect|busy|silent]
//                  [--speed N] [--split MS] [--no-echo] [--transcript FILE]
//
// DEV of --line is the modem's side of the serial line (one end of a socat
// pty pair; the client opens the other end). In command mode it answers AT
// command lines ("OK", "ERROR", and for a dial, per --answer: "CONNECT N",
// "BUSY" or nothing at all); once connected it opens --remote (for example
// the serial line of zphd) and passes bytes both ways until "+++" returns
// it to command mode, where "ATH0" hangs up (the remote is closed) and
// "ATO" goes back online. Replies are "\r\n" TEXT "\r\n"; with --split MS a
// reply is written in two parts MS milliseconds apart. Commands are echoed
// unless --no-echo (or ATE0).
//
// The transcript (stderr without --transcript) gets one line per event:
// "ready", "line TEXT" (each AT or empty command line), "dial NUMBER",
// "connect", "busy", "silent", "escape", "hangup", "online", "carrier-lost",
// "error TEXT". SIGTERM and SIGINT end it.
#include "Hayes.h"

#include <cerrno>
#include <csignal>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

struct Options {
    std::string line;
    std::string remote;
    std::string answer = "connect";
    std::string speed = "9600";
    int splitMs = 0;
    bool echo = true;
    std::string transcript;
};

void Usage(std::FILE* out)
{
    std::fputs("usage: modem-emulator --line DEV --remote DEV [--answer connect|busy|silent] [--speed N]\n"
               "                      [--split MS] [--no-echo] [--transcript FILE]\n", out);
}

void Help()
{
    Usage(stdout);
    std::fputs("A Hayes modem on a terminal, for tests of dialling.\n"
               "  --line DEV        the modem's side of the serial line (one end of a pty pair)\n"
               "  --remote DEV      what a dial connects to (for example zphd's serial line)\n"
               "  --answer WHAT     a dial answers CONNECT (connect), BUSY (busy) or nothing (silent)\n"
               "  --speed N         the speed in the CONNECT reply (default 9600)\n"
               "  --split MS        write each reply in two parts MS milliseconds apart\n"
               "  --no-echo         do not echo commands (as ATE0)\n"
               "  --transcript FILE one line per event there (default: standard error)\n"
               "  --help            this text\n",
               stdout);
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--line") {
            if (!value(o.line))
                return false;
        } else if (arg == "--remote") {
            if (!value(o.remote))
                return false;
        } else if (arg == "--answer") {
            if (!value(o.answer) || (o.answer != "connect" && o.answer != "busy" && o.answer != "silent"))
                return false;
        } else if (arg == "--speed") {
            if (!value(o.speed) || o.speed.empty() || o.speed.find_first_not_of("0123456789") != std::string::npos)
                return false;
        } else if (arg == "--split") {
            if (!value(text) || text.empty() || text.size() > 5 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                return false;
            o.splitMs = std::atoi(text.c_str());
        } else if (arg == "--no-echo") {
            o.echo = false;
        } else if (arg == "--transcript") {
            if (!value(o.transcript))
                return false;
        } else {
            return false;
        }
    }
    return !o.line.empty() && !o.remote.empty();
}

int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

void SleepMs(int ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR && !g_stop) {
    }
}

class Emulator {
public:
    explicit Emulator(Options options) : m_o(std::move(options)), m_echo(m_o.echo) {}

    int Run()
    {
        m_log = m_o.transcript.empty() ? stderr : std::fopen(m_o.transcript.c_str(), "w");
        if (m_log == nullptr) {
            std::fprintf(stderr, "modem-emulator: cannot write %s: %s\n", m_o.transcript.c_str(), std::strerror(errno));
            return 1;
        }
        m_line = OpenRaw(m_o.line);
        if (m_line < 0) {
            std::fprintf(stderr, "modem-emulator: cannot open %s: %s\n", m_o.line.c_str(), std::strerror(errno));
            return 1;
        }
        Event("ready");
        char buffer[4096];
        while (!g_stop) {
            pollfd fds[2] = {{m_line, POLLIN, 0}, {m_remote, POLLIN, 0}};
            const int count = m_remote >= 0 ? 2 : 1;
            const int ready = ::poll(fds, count, 200);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready <= 0)
                continue;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = (fds[0].revents & POLLIN) ? ::read(m_line, buffer, sizeof buffer) : 0;
                if (n > 0)
                    FromLine(buffer, static_cast<std::size_t>(n));
                else
                    SleepMs(50);  // the far end of the line is closed for now: wait for it
            }
            if (count == 2 && fds[1].revents) {
                const ssize_t n = (fds[1].revents & POLLIN) ? ::read(m_remote, buffer, sizeof buffer) : 0;
                if (n > 0) {
                    if (m_dataMode)
                        WriteLine(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    CloseRemote();
                    Event("carrier-lost");
                    m_dataMode = false;
                    Reply("NO CARRIER");
                }
            }
        }
        CloseRemote();
        ::close(m_line);
        return 0;
    }

private:
    void Event(const std::string& text)
    {
        std::fprintf(m_log, "%s\n", text.c_str());
        std::fflush(m_log);
    }

    void WriteLine(const char* data, std::size_t size)
    {
        // Bounded: a client that reads nothing never stops the emulator.
        while (size > 0 && !g_stop) {
            const ssize_t n = ::write(m_line, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            pollfd out{m_line, POLLOUT, 0};
            if (::poll(&out, 1, 2000) <= 0)
                return;
        }
    }

    void Reply(const std::string& text)
    {
        const std::string reply = "\r\n" + text + "\r\n";
        if (m_o.splitMs > 0 && reply.size() > 4) {
            const std::size_t half = reply.size() / 2;
            WriteLine(reply.data(), half);
            SleepMs(m_o.splitMs);
            WriteLine(reply.data() + half, reply.size() - half);
        } else {
            WriteLine(reply.data(), reply.size());
        }
    }

    // A remote that went is found out on its next read; what it could not
    // take is lost, as on a line that dropped.
    void ToRemote(const char* data, std::size_t size)
    {
        if (m_remote < 0 || size == 0)
            return;
        const ssize_t n = ::write(m_remote, data, size);
        (void)n;
    }

    void CloseRemote()
    {
        if (m_remote >= 0) {
            ::close(m_remote);
            m_remote = -1;
        }
    }

    void FromLine(const char* data, std::size_t size)
    {
        if (m_dataMode) {
            const std::size_t end = m_escape.Feed(data, size);
            if (end == std::string::npos) {
                ToRemote(data, size);
                return;
            }
            ToRemote(data, end >= 3 ? end - 3 : 0);
            m_dataMode = false;
            m_commands.Clear();
            Event("escape");
            Reply("OK");
            data += end;
            size -= end;
        }
        std::vector<modememu::CommandLineBuffer::Line> lines;
        m_commands.Feed(data, size, lines);
        for (const auto& line : lines) {
            Command(line);
            if (m_dataMode)
                break;  // the rest of the read belongs to the data stream
        }
    }

    void Command(const modememu::CommandLineBuffer::Line& line)
    {
        if (line.text.empty()) {
            Event("line ");
            return;
        }
        const modememu::ParsedLine parsed = modememu::ParseCommandLine(line.text);
        if (!parsed.isAt)
            return;  // a modem ignores what is not a command
        Event("line " + line.text);
        if (m_echo)
            WriteLine((line.text + "\r").data(), line.text.size() + 1);
        if (line.overflow || !parsed.ok) {
            Event("error " + line.text);
            Reply("ERROR");
            return;
        }
        if (parsed.echo)
            m_echo = *parsed.echo;
        if (parsed.reset)
            m_echo = m_o.echo;
        for (int reg : parsed.queries) {
            const auto it = m_registers.find(reg);
            Reply(std::to_string(it == m_registers.end() ? 0 : it->second));
        }
        for (const auto& [reg, value] : parsed.registers)
            m_registers[reg] = value;
        if (parsed.hangup) {
            if (m_remote >= 0)
                Event("hangup");
            CloseRemote();
        }
        if (parsed.dial) {
            Dial(*parsed.dial);
            return;
        }
        if (parsed.online) {
            if (m_remote < 0) {
                Reply("NO CARRIER");
                return;
            }
            Event("online");
            Reply("CONNECT " + m_o.speed);
            m_dataMode = true;
            m_escape.Reset();
            return;
        }
        Reply("OK");
    }

    void Dial(const std::string& number)
    {
        Event("dial " + number);
        if (m_o.answer == "silent") {
            Event("silent");
            return;
        }
        if (m_o.answer == "busy") {
            Event("busy");
            Reply("BUSY");
            return;
        }
        CloseRemote();
        m_remote = OpenRaw(m_o.remote);
        if (m_remote < 0) {
            Event(std::string("error cannot open remote: ") + std::strerror(errno));
            Reply("NO CARRIER");
            return;
        }
        Event("connect");
        Reply("CONNECT " + m_o.speed);
        m_dataMode = true;
        m_escape.Reset();
    }

    Options m_o;
    bool m_echo;
    FILE* m_log = nullptr;
    int m_line = -1;
    int m_remote = -1;
    bool m_dataMode = false;
    modememu::CommandLineBuffer m_commands;
    modememu::EscapeDetector m_escape;
    std::map<int, int> m_registers;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Help();
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage(stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return Emulator(std::move(options)).Run();
}
