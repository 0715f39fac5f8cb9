// Uses the installed library through its umbrella header only: a kernel
// object, an exception, a record in a daily log file and an event on a
// syslog socket of its own.
#include <Brindle/Brindle.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool LogsToADailyFile(const std::string& dir)
{
    Brindle::CFileLogger logger(dir + "/logs/consumer");
    logger.Log(Brindle::CLogData(Brindle::SEVERITY_INFORMATION, "consumer", Brindle::CVar(std::string("file ok"))));
    std::ifstream in(logger.GetFileName());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.find("file ok") != std::string::npos;
}

bool LogsAnEvent(const std::string& dir)
{
    const std::string path = dir + "/syslog.sock";
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    ::setenv("BRINDLE_SYSLOG_SOCKET", path.c_str(), 1);
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    Brindle::CEventLog events("consumer");
    events.Log(Brindle::EVENTLOG_INFORMATION_TYPE, 0, Brindle::MSG_SERVICE_STARTED, "consumer");
    char line[2048];
    const ssize_t got = ::recv(fd, line, sizeof line - 1, 0);
    ::close(fd);
    ::unlink(path.c_str());
    return got > 0 && std::string(line, static_cast<std::size_t>(got)).find("consumer") != std::string::npos;
}

} // namespace

int main(int argc, char** argv)
{
    Brindle::CEvent ready(nullptr, TRUE, FALSE);
    ready.set();
    if (!ready.test())
        return 1;
    const std::string dir = argc > 1 ? argv[1] : ".";
    if (!LogsToADailyFile(dir)) {
        std::puts("no record in the daily file");
        return 2;
    }
    if (!LogsAnEvent(dir)) {
        std::puts("no event on the syslog socket");
        return 3;
    }
    try {
        throw Brindle::CException("consumer ok", 0);
    } catch (const Brindle::CException& e) {
        std::puts(e.what());
    }
    return 0;
}
