#include "Platform/ServiceControl.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr std::size_t MaxNameLength = 200;
const char* const DefaultUnitDirectory = "/etc/systemd/system";
const char* const DefaultRunDirectory = "/run/brindle";

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

std::string EnvOr(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// Writes all of a text to a descriptor.
bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// One line of a unit file holding any text: no control character, no
// specifier, no line continuation.
std::string UnitLineText(const char* text)
{
    std::string out;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F)
            out += ' ';
        else if (c == '%')
            out += "%%";
        else
            out += static_cast<char>(c);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\\'))
        out.pop_back();
    const std::size_t first = out.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first);
}

// An executable path as the first word of ExecStart: in double quotes (for
// blanks), with '%' doubled (no specifier). The manager refuses quotes and
// backslashes in an executable's name, so paths holding them get no unit.
std::string QuotedExecutable(const std::string& path)
{
    std::string out = "\"";
    for (char c : path) {
        if (c == '%')
            out += c;
        out += c;
    }
    return out + '"';
}

bool MakeDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    return false;
}

} // namespace

bool IsValidServiceName(const char* name)
{
    if (name == nullptr || *name == '\0' || std::strlen(name) > MaxNameLength)
        return false;
    for (const char* p = name; *p != '\0'; ++p) {
        const char c = *p;
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || c == '.' || c == '@';
        if (!ok)
            return false;
    }
    // "." and ".." would name directories, not files.
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

std::string ServiceUnitDirectory()
{
    return EnvOr("BRINDLE_UNIT_DIR", DefaultUnitDirectory);
}

std::string ServiceUnitPath(const char* name)
{
    return ServiceUnitDirectory() + "/" + (name != nullptr ? name : "") + ".service";
}

std::string ServiceUnitText(const char* name, const char* description, const std::string& executable)
{
    if (!IsValidServiceName(name) || executable.empty() || executable[0] != '/') {
        SetLastError(ERROR_INVALID_NAME);
        return std::string();
    }
    for (unsigned char c : executable) {
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '\\') {
            SetLastError(ERROR_INVALID_NAME);
            return std::string();
        }
    }
    std::string descriptionLine = UnitLineText(description);
    if (descriptionLine.empty())
        descriptionLine = UnitLineText(name);
    return "[Unit]\n"
           "Description=" + descriptionLine + "\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "NotifyAccess=main\n"
           "ExecStart=" + QuotedExecutable(executable) + "\n"
           "KillSignal=SIGTERM\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

std::string ServiceExecutablePath()
{
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) {
        SetLastError(n < 0 ? static_cast<DWORD>(errno) : ERROR_FILENAME_EXCED_RANGE);
        return std::string();
    }
    path.resize(static_cast<std::size_t>(n));
    return path;
}

BOOL CanWriteServiceUnits()
{
    const std::string dir = ServiceUnitDirectory();
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0)
        return Fail(static_cast<DWORD>(errno));
    if (!S_ISDIR(st.st_mode))
        return Fail(ENOTDIR);
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return Fail(static_cast<DWORD>(errno));
    return TRUE;
}

BOOL ServiceUnitExists(const char* name)
{
    if (!IsValidServiceName(name))
        return Fail(ERROR_INVALID_NAME);
    struct stat st;
    if (::lstat(ServiceUnitPath(name).c_str(), &st) != 0)
        return Fail(static_cast<DWORD>(errno));
    return TRUE;
}

BOOL CreateServiceUnit(const char* name, const char* description)
{
    const std::string executable = ServiceExecutablePath();
    if (executable.empty())
        return FALSE;
    const std::string text = ServiceUnitText(name, description, executable);
    if (text.empty())
        return FALSE;
    const std::string path = ServiceUnitPath(name);
    // Written beside the unit and linked into place, so the unit appears
    // whole, and only when no unit of that name is there.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Fail(static_cast<DWORD>(errno));
    const bool written = ::fchmod(fd, 0644) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return Fail(static_cast<DWORD>(writeError));
    }
    const int linked = ::link(temp.c_str(), path.c_str());
    const int linkError = errno;
    ::unlink(temp.c_str());
    if (linked != 0)
        return Fail(static_cast<DWORD>(linkError));
    return TRUE;
}

BOOL DeleteServiceUnit(const char* name)
{
    if (!IsValidServiceName(name))
        return Fail(ERROR_INVALID_NAME);
    if (::unlink(ServiceUnitPath(name).c_str()) != 0)
        return Fail(static_cast<DWORD>(errno));
    return TRUE;
}

void ReloadServiceManager()
{
    struct stat st;
    if (ServiceUnitDirectory() != DefaultUnitDirectory || ::stat("/run/systemd/system", &st) != 0)
        return;
    const char* argv[] = {"systemctl", "daemon-reload", nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "systemctl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool StartedByServiceManager()
{
    const char* notify = std::getenv("NOTIFY_SOCKET");
    const char* invocation = std::getenv("INVOCATION_ID");
    return (notify != nullptr && *notify != '\0') || (invocation != nullptr && *invocation != '\0');
}

BOOL NotifyServiceManager(const std::string& message)
{
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (path == nullptr || *path == '\0')
        return Fail(ENOTCONN);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path || (path[0] != '/' && path[0] != '@'))
        return Fail(EINVAL);
    std::memcpy(address.sun_path, path, length);
    if (path[0] == '@')
        address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Fail(static_cast<DWORD>(errno));
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address),
                                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    const int error = errno;
    ::close(fd);
    if (sent != static_cast<ssize_t>(message.size()))
        return Fail(sent < 0 ? static_cast<DWORD>(error) : EMSGSIZE);
    return TRUE;
}

std::string ServiceStatusMessage(const SERVICE_STATUS& status)
{
    static const char* const names[] = {"Stopped",          "Start pending", "Stop pending", "Running",
                                        "Continue pending", "Pause pending", "Paused"};
    const DWORD state = status.dwCurrentState;
    std::string message;
    if (state == SERVICE_RUNNING)
        message += "READY=1\n";
    else if (state == SERVICE_STOP_PENDING)
        message += "STOPPING=1\n";
    message += "STATUS=";
    message += state >= 1 && state <= 7 ? names[state - 1] : "Unknown state";
    if (status.dwCheckPoint != 0)
        message += " (check point " + std::to_string(status.dwCheckPoint) + ")";
    // A pending state that moves on asks for more time: its wait hint, or
    // the manager's default of half a minute.
    if (status.dwCheckPoint != 0 && state != SERVICE_RUNNING && state != SERVICE_STOPPED) {
        const unsigned long long usec =
            (status.dwWaitHint != 0 ? static_cast<unsigned long long>(status.dwWaitHint) : 30000ull) * 1000ull;
        message += "\nEXTEND_TIMEOUT_USEC=" + std::to_string(usec);
    }
    if (status.dwWin32ExitCode != 0)
        message += "\nERRNO=" + std::to_string(status.dwWin32ExitCode);
    return message;
}

std::string ServicePidFilePath(const char* name)
{
    return EnvOr("BRINDLE_RUN_DIR", DefaultRunDirectory) + "/" + (name != nullptr ? name : "") + ".pid";
}

int LockServicePidFile(const char* name)
{
    if (!IsValidServiceName(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return -1;
    }
    const std::string dir = EnvOr("BRINDLE_RUN_DIR", DefaultRunDirectory);
    if (!MakeDirectory(dir)) {
        SetLastError(static_cast<DWORD>(errno));
        return -1;
    }
    const std::string path = ServicePidFilePath(name);
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            SetLastError(static_cast<DWORD>(errno));
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            SetLastError(error == EWOULDBLOCK ? EALREADY : static_cast<DWORD>(error));
            return -1;
        }
        // The file may have been removed by an instance that just ended:
        // hold the one that is there.
        struct stat held, there;
        if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &there) != 0 || held.st_ino != there.st_ino ||
            held.st_dev != there.st_dev) {
            ::close(fd);
            continue;
        }
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) != 0 || !WriteAll(fd, pid)) {
            SetLastError(static_cast<DWORD>(errno));
            ::close(fd);
            return -1;
        }
        return fd;
    }
}

void ReleaseServicePidFile(const char* name, int fd)
{
    if (fd < 0)
        return;
    ::unlink(ServicePidFilePath(name).c_str());
    ::close(fd);
}

long FindRunningService(const char* name)
{
    if (!IsValidServiceName(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const int fd = ::open(ServicePidFilePath(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? ESRCH : static_cast<DWORD>(errno));
        return 0;
    }
    // Running only while someone holds the lock.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::close(fd);
        SetLastError(ESRCH);
        return 0;
    }
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    char* end = nullptr;
    const long pid = n > 0 ? std::strtol(text, &end, 10) : 0;
    if (pid <= 0 || end == text) {
        SetLastError(ESRCH);
        return 0;
    }
    return pid;
}

BOOL SendServiceControl(const char* name, DWORD code)
{
    const long pid = FindRunningService(name);
    if (pid <= 0)
        return FALSE;
    // Every code, the stop too, rides the one queued signal: ordinary
    // signals would overtake the queue.
    sigval value{};
    value.sival_int = static_cast<int>(code);
    if (::sigqueue(static_cast<pid_t>(pid), SIGRTMIN, value) != 0)
        return Fail(static_cast<DWORD>(errno));
    return TRUE;
}

CServiceSignals::CServiceSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGRTMIN);
    sigemptyset(&m_previousMask);
    if (::pthread_sigmask(SIG_BLOCK, &set, &m_previousMask) != 0)
        return;
    m_signalFd = ::signalfd(-1, &set, SFD_CLOEXEC);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CServiceSignals::~CServiceSignals()
{
    if (m_signalFd >= 0) {
        // Controls that came too late are dropped, never left to their
        // default action (which ends the process).
        ::fcntl(m_signalFd, F_SETFL, O_NONBLOCK);
        signalfd_siginfo info;
        while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        ::close(m_signalFd);
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    // A user control queued from now on finds nobody: it stays blocked.
    sigaddset(&m_previousMask, SIGRTMIN);
    ::pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

bool CServiceSignals::WaitControl(DWORD& code)
{
    pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(m_signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
                continue;
            if (static_cast<int>(info.ssi_signo) == SIGRTMIN) {
                code = static_cast<DWORD>(info.ssi_int);
                return true;
            }
            code = SERVICE_CONTROL_STOP;
            return true;
        }
        if (fds[1].revents != 0)
            return false;
    }
}

void CServiceSignals::Wake()
{
    const unsigned long long one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
}

BOOL IsDebuggerPresent()
{
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr)
        return FALSE;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer != 0 ? TRUE : FALSE;
}

void DebugBreak()
{
    if (IsDebuggerPresent())
        ::raise(SIGTRAP);
}
