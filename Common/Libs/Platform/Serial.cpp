#include "Platform/Serial.h"
#include "Platform/KernelObjects.h"
#include "Platform/SerialTermios.h"
#include "Platform/WinError.h"

// termios2 (SerialTermios.h), not <termios.h>: the kernel's interface that
// also takes rates without a B-constant (BOTHER).
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct CommDevice {
    int fd = -1;
    int wakeFd = -1; // readable once the handle is closed: ends waits at once
    DWORD access = 0;
    bool overlapped = false;

    std::mutex mutex; // guards what follows
    COMMTIMEOUTS timeouts;
    DCB kept; // the last DCB set: the fields termios cannot hold
    DWORD inQueue = 0;
    DWORD outQueue = 0;
    serial_icounter_struct lastCounts{};
    bool haveCounts = false;
    bool noCounts = false; // the driver keeps no line-error counters

    ~CommDevice()
    {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
};

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<CommDevice>> devices;
    // Comm handles live in a range of their own, far above the kernel
    // objects' ids, so one kind can never be taken for the other.
    std::uintptr_t next = std::uintptr_t{1} << (sizeof(void*) * 8 - 2);
};

Table& TheTable()
{
    static Table* table = new Table; // never destroyed: handles may be closed during exit
    return *table;
}

std::shared_ptr<CommDevice> Lookup(HANDLE comm)
{
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.devices.find(reinterpret_cast<std::uintptr_t>(comm));
    if (it == table.devices.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

struct RateCode {
    DWORD rate;
    unsigned code;
};

constexpr RateCode kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

unsigned CodeOfRate(DWORD rate)
{
    for (const auto& r : kRates)
        if (r.rate == rate)
            return r.code;
    return 0;
}

DWORD RateOfTermios(const termios2& t)
{
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return t.c_ospeed;
    for (const auto& r : kRates)
        if (r.code == code)
            return r.rate;
    return 0;
}

// Modem lines: devices without them (pseudo-terminals) refuse the request,
// which is no failure of the line settings.
void SetModemLine(int fd, int line, bool raised)
{
    int bits = line;
    (void)::ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &bits);
}

// Raw binary mode, the way a COM port always works: no echo, no line
// editing, no translation; the line settings stay as they are.
bool MakeRaw(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = IGNBRK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

DCB DefaultDcb()
{
    DCB dcb;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, or -1 (no limit) when there is none.
int MillisecondsLeft(const Clock::time_point* deadline)
{
    if (deadline == nullptr)
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

enum class Wait { Ready, TimedOut, Closed, Failed };

// Waits until the device can be read (events POLLIN) or written (POLLOUT),
// the handle is closed, the device fails, or timeoutMs (-1: no limit) ends.
// A hang-up counts as ready for reading, so that the bytes still queued are
// read before the read itself reports the end.
Wait WaitFor(const CommDevice& dev, short events, int timeoutMs, DWORD& error)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd fds[2] = {{dev.fd, events, 0}, {dev.wakeFd, POLLIN, 0}};
        const int wait = timeoutMs < 0 ? -1 : MillisecondsLeft(&deadline);
        const int n = ::poll(fds, 2, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = static_cast<DWORD>(errno);
            return Wait::Failed;
        }
        if (fds[1].revents != 0)
            return Wait::Closed;
        if (n == 0)
            return Wait::TimedOut;
        const short r = fds[0].revents;
        if (r & POLLNVAL) {
            error = ERROR_INVALID_HANDLE;
            return Wait::Failed;
        }
        if (r & events)
            return Wait::Ready;
        if (events == POLLIN && (r & (POLLHUP | POLLERR)))
            return Wait::Ready;
        error = ERROR_CANTWRITE;
        return Wait::Failed;
    }
}

// Reads what is queued, up to n bytes: the count (0 when nothing is
// queued), or -1 with `error` set when the device has failed or hung up.
long ReadQueued(const CommDevice& dev, char* buffer, std::size_t n, DWORD& error)
{
    for (;;) {
        const ssize_t got = ::read(dev.fd, buffer, n);
        if (got > 0)
            return got;
        if (got == 0) {
            // End of file on a terminal: the line was hung up.
            error = ERROR_CANTREAD;
            return -1;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        error = static_cast<DWORD>(errno);
        return -1;
    }
}

BOOL Complete(LPOVERLAPPED overlapped, DWORD count, LPDWORD counted)
{
    if (counted != nullptr)
        *counted = count;
    if (overlapped != nullptr) {
        overlapped->Internal = ERROR_SUCCESS;
        overlapped->InternalHigh = count;
        if (overlapped->hEvent != nullptr)
            SetEvent(overlapped->hEvent);
    }
    return TRUE;
}

BOOL FailOperation(LPOVERLAPPED overlapped, DWORD count, LPDWORD counted, DWORD error)
{
    if (counted != nullptr)
        *counted = count;
    if (overlapped != nullptr) {
        overlapped->Internal = error;
        overlapped->InternalHigh = count;
    }
    return Fail(error);
}

DWORD WaitError(Wait w, DWORD error)
{
    return w == Wait::Closed ? ERROR_OPERATION_ABORTED : error;
}

} // namespace

bool IsValidCommState(const DCB& dcb)
{
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY
        || dcb.StopBits > TWOSTOPBITS)
        return false;
    // The combinations a UART cannot make.
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5)
        return false;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5)
        return false;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar)
        return false;
    return true;
}

void CommStateToTermios(const DCB& dcb, termios2& t)
{
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    const unsigned code = CodeOfRate(dcb.BaudRate);
    t.c_cflag |= code != 0 ? code : BOTHER;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize >= 5 && dcb.ByteSize <= 8 ? dcb.ByteSize - 5 : 3];
    switch (dcb.Parity) {
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (dcb.StopBits != ONESTOPBIT)
        t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;

    // Bytes with parity errors pass as received unless the DCB asks for
    // them to be replaced; Linux replaces them with NUL.
    t.c_iflag = IGNBRK;
    if (dcb.fParity && dcb.fErrorChar && dcb.Parity != NOPARITY)
        t.c_iflag |= INPCK;
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

DCB TermiosToCommState(const termios2& t, const DCB& kept)
{
    DCB out = kept;
    out.DCBlength = sizeof(DCB);
    out.BaudRate = RateOfTermios(t);
    switch (t.c_cflag & CSIZE) {
    case CS5: out.ByteSize = 5; break;
    case CS6: out.ByteSize = 6; break;
    case CS7: out.ByteSize = 7; break;
    default: out.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        out.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        out.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        out.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (!(t.c_cflag & CSTOPB))
        out.StopBits = ONESTOPBIT;
    else
        out.StopBits = out.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    const bool rtsCts = (t.c_cflag & CRTSCTS) != 0;
    out.fOutxCtsFlow = rtsCts ? 1 : 0;
    if (!rtsCts && out.fRtsControl == RTS_CONTROL_HANDSHAKE)
        out.fRtsControl = RTS_CONTROL_ENABLE;
    out.fOutX = (t.c_iflag & IXON) ? 1 : 0;
    out.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
    if ((t.c_iflag & INPCK) && !(out.fParity && out.fErrorChar)) {
        out.fParity = 1;
        out.fErrorChar = 1;
        out.ErrorChar = 0;
    }
    out.XonChar = static_cast<char>(t.c_cc[VSTART]);
    out.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return out;
}

std::string CommDevicePath(LPCSTR portName)
{
    if (portName == nullptr || *portName == '\0')
        return {};
    if (portName[0] == '/')
        return portName;
    const char* name = portName;
    if (std::strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (::strncasecmp(name, "COM", 3) != 0)
        return {};
    name += 3;
    if (*name < '1' || *name > '9')
        return {};
    unsigned long number = 0;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9' || number > 100000)
            return {};
        number = number * 10 + static_cast<unsigned long>(*name - '0');
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

HANDLE CreateCommFile(LPCSTR portName, DWORD desiredAccess, DWORD flagsAndAttributes)
{
    const std::string path = CommDevicePath(portName);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool reading = (desiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool writing = (desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;

    auto dev = std::make_shared<CommDevice>();
    dev->fd = ::open(path.c_str(), flags);
    if (dev->fd < 0) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (!::isatty(dev->fd)) {
        SetLastError(ENOTTY);
        return INVALID_HANDLE_VALUE;
    }
    // One user at a time, as with a COM port.
    if (::flock(dev->fd, LOCK_EX | LOCK_NB) != 0) {
        SetLastError(errno == EWOULDBLOCK ? ERROR_ACCESS_DENIED : static_cast<DWORD>(errno));
        return INVALID_HANDLE_VALUE;
    }
    dev->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (dev->wakeFd < 0 || !MakeRaw(dev->fd)) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_HANDLE_VALUE;
    }
    dev->access = desiredAccess;
    dev->overlapped = (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    dev->kept = DefaultDcb();

    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    const std::uintptr_t id = table.next++;
    table.devices.emplace(id, std::move(dev));
    return reinterpret_cast<HANDLE>(id);
}

BOOL CloseCommFile(HANDLE comm)
{
    std::shared_ptr<CommDevice> dev;
    {
        Table& table = TheTable();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.devices.find(reinterpret_cast<std::uintptr_t>(comm));
        if (it == table.devices.end())
            return Fail(ERROR_INVALID_HANDLE);
        dev = std::move(it->second);
        table.devices.erase(it);
    }
    // The device is free for the next user now; a read or write still
    // running on another thread wakes and fails, and the descriptor closes
    // with the last of them.
    ::flock(dev->fd, LOCK_UN);
    const std::uint64_t one = 1;
    (void)!::write(dev->wakeFd, &one, sizeof one);
    return TRUE;
}

bool IsCommHandle(HANDLE comm)
{
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.devices.count(reinterpret_cast<std::uintptr_t>(comm)) != 0;
}

BOOL SetupComm(HANDLE comm, DWORD inQueue, DWORD outQueue)
{
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    std::lock_guard<std::mutex> guard(dev->mutex);
    dev->inQueue = inQueue;
    dev->outQueue = outQueue;
    return TRUE;
}

BOOL GetCommState(HANDLE comm, LPDCB dcb)
{
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    termios2 t{};
    if (::ioctl(dev->fd, TCGETS2, &t) != 0)
        return Fail(static_cast<DWORD>(errno));
    std::lock_guard<std::mutex> guard(dev->mutex);
    const DCB out = TermiosToCommState(t, dev->kept);
    *dcb = out;
    return TRUE;
}

BOOL SetCommState(HANDLE comm, LPDCB dcb)
{
    if (dcb == nullptr || !IsValidCommState(*dcb))
        return Fail(ERROR_INVALID_PARAMETER);
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    termios2 t{};
    if (::ioctl(dev->fd, TCGETS2, &t) != 0)
        return Fail(static_cast<DWORD>(errno));

    CommStateToTermios(*dcb, t);
    if (::ioctl(dev->fd, TCSETS2, &t) != 0)
        return Fail(static_cast<DWORD>(errno));

    SetModemLine(dev->fd, TIOCM_DTR, dcb->fDtrControl != DTR_CONTROL_DISABLE);
    if (dcb->fRtsControl != RTS_CONTROL_HANDSHAKE)
        SetModemLine(dev->fd, TIOCM_RTS, dcb->fRtsControl != RTS_CONTROL_DISABLE);

    std::lock_guard<std::mutex> guard(dev->mutex);
    dev->kept = *dcb;
    dev->kept.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE comm, LPCOMMTIMEOUTS timeouts)
{
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    std::lock_guard<std::mutex> guard(dev->mutex);
    *timeouts = dev->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE comm, LPCOMMTIMEOUTS timeouts)
{
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    std::lock_guard<std::mutex> guard(dev->mutex);
    dev->timeouts = *timeouts;
    return TRUE;
}

BOOL ClearCommError(HANDLE comm, LPDWORD errors, LPCOMSTAT stat)
{
    auto dev = Lookup(comm);
    if (!dev)
        return FALSE;
    int inQueue = 0;
    int outQueue = 0;
    if (::ioctl(dev->fd, TIOCINQ, &inQueue) != 0 || ::ioctl(dev->fd, TIOCOUTQ, &outQueue) != 0)
        return Fail(static_cast<DWORD>(errno));

    DWORD found = 0;
    serial_icounter_struct counts{};
    bool counting = false;
    {
        std::lock_guard<std::mutex> guard(dev->mutex);
        counting = !dev->noCounts;
    }
    if (counting && ::ioctl(dev->fd, TIOCGICOUNT, &counts) != 0) {
        // Asked once: pseudo-terminals and many USB adapters count nothing.
        std::lock_guard<std::mutex> guard(dev->mutex);
        dev->noCounts = true;
        counting = false;
    }
    if (counting) {
        std::lock_guard<std::mutex> guard(dev->mutex);
        if (dev->haveCounts) {
            const serial_icounter_struct& last = dev->lastCounts;
            if (counts.frame != last.frame)
                found |= CE_FRAME;
            if (counts.parity != last.parity)
                found |= CE_RXPARITY;
            if (counts.overrun != last.overrun)
                found |= CE_OVERRUN;
            if (counts.buf_overrun != last.buf_overrun)
                found |= CE_RXOVER;
            if (counts.brk != last.brk)
                found |= CE_BREAK;
        }
        dev->lastCounts = counts;
        dev->haveCounts = true;
    }
    if (errors != nullptr)
        *errors = found;
    if (stat != nullptr) {
        *stat = COMSTAT();
        stat->cbInQue = static_cast<DWORD>(inQueue);
        stat->cbOutQue = static_cast<DWORD>(outQueue);
    }
    return TRUE;
}

namespace {

// The checks a read and a write share: a live handle opened for that
// direction, a buffer unless nothing is to move. Null when the call is
// already over, with its result in `early`; otherwise the device and its
// time-outs as they are now.
std::shared_ptr<CommDevice> BeginTransfer(HANDLE comm, DWORD direction, const void* buffer, DWORD count,
                                          LPDWORD counted, LPOVERLAPPED overlapped, COMMTIMEOUTS& to, BOOL& early)
{
    if (counted != nullptr)
        *counted = 0;
    auto dev = Lookup(comm);
    if (!dev) {
        early = FailOperation(overlapped, 0, counted, ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(dev->access & (direction | GENERIC_ALL))) {
        early = FailOperation(overlapped, 0, counted, ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (count == 0) {
        early = Complete(overlapped, 0, counted);
        return nullptr;
    }
    if (buffer == nullptr) {
        early = FailOperation(overlapped, 0, counted, ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(dev->mutex);
    to = dev->timeouts;
    return dev;
}

} // namespace

BOOL ReadCommFile(HANDLE comm, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    COMMTIMEOUTS to;
    BOOL early = FALSE;
    auto dev = BeginTransfer(comm, GENERIC_READ, buffer, toRead, read, overlapped, to, early);
    if (!dev)
        return early;
    char* out = static_cast<char*>(buffer);
    DWORD got = 0;
    DWORD error = 0;

    // With an interval of MAXDWORD (and a total that is not MAXDWORD) a read
    // returns as soon as any byte is there: at once with what is queued,
    // otherwise after the first bytes arrive or the total time-out ends
    // (multiplier MAXDWORD: the constant alone; both 0: no wait at all).
    if (to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutConstant != MAXDWORD) {
        const long n = ReadQueued(*dev, out, toRead, error);
        if (n < 0)
            return FailOperation(overlapped, 0, read, error);
        if (n > 0)
            return Complete(overlapped, static_cast<DWORD>(n), read);
        const std::uint64_t wait = to.ReadTotalTimeoutMultiplier == MAXDWORD
                                     ? to.ReadTotalTimeoutConstant
                                     : std::uint64_t{to.ReadTotalTimeoutMultiplier} * toRead
                                           + to.ReadTotalTimeoutConstant;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait);
        for (;;) {
            const int left = MillisecondsLeft(&deadline);
            if (left == 0)
                return Complete(overlapped, 0, read);
            const Wait w = WaitFor(*dev, POLLIN, left, error);
            if (w == Wait::TimedOut)
                return Complete(overlapped, 0, read);
            if (w != Wait::Ready)
                return FailOperation(overlapped, 0, read, WaitError(w, error));
            const long m = ReadQueued(*dev, out, toRead, error);
            if (m < 0)
                return FailOperation(overlapped, 0, read, error);
            if (m > 0)
                return Complete(overlapped, static_cast<DWORD>(m), read);
        }
    }

    // Total and interval time-outs.
    const std::uint64_t total =
        std::uint64_t{to.ReadTotalTimeoutMultiplier} * toRead + to.ReadTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(total);
    const Clock::time_point* limit = total != 0 ? &deadline : nullptr;
    const bool useInterval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MAXDWORD;
    while (got < toRead) {
        const long n = ReadQueued(*dev, out + got, toRead - got, error);
        if (n < 0) {
            // Bytes that arrived before the failure are delivered first.
            if (got > 0)
                break;
            return FailOperation(overlapped, 0, read, error);
        }
        got += static_cast<DWORD>(n);
        if (got == toRead)
            break;
        int wait = MillisecondsLeft(limit);
        if (limit != nullptr && wait == 0)
            break;
        const bool intervalApplies = useInterval && got > 0;
        if (intervalApplies) {
            const int interval = to.ReadIntervalTimeout > INT_MAX ? INT_MAX : static_cast<int>(to.ReadIntervalTimeout);
            wait = wait < 0 ? interval : std::min(wait, interval);
        }
        const Wait w = WaitFor(*dev, POLLIN, wait, error);
        if (w == Wait::TimedOut) {
            if (intervalApplies || limit != nullptr)
                break;
            continue;
        }
        if (w != Wait::Ready) {
            if (got > 0 && w == Wait::Failed)
                break;
            return FailOperation(overlapped, got, read, WaitError(w, error));
        }
    }
    return Complete(overlapped, got, read);
}

BOOL WriteCommFile(HANDLE comm, LPCVOID data, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    COMMTIMEOUTS to;
    BOOL early = FALSE;
    auto dev = BeginTransfer(comm, GENERIC_WRITE, data, toWrite, written, overlapped, to, early);
    if (!dev)
        return early;
    const std::uint64_t total =
        std::uint64_t{to.WriteTotalTimeoutMultiplier} * toWrite + to.WriteTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(total);
    const Clock::time_point* limit = total != 0 ? &deadline : nullptr;

    const char* in = static_cast<const char*>(data);
    DWORD put = 0;
    DWORD error = 0;
    while (put < toWrite) {
        const ssize_t n = ::write(dev->fd, in + put, toWrite - put);
        if (n > 0) {
            put += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return FailOperation(overlapped, put, written, static_cast<DWORD>(errno));
        const int wait = MillisecondsLeft(limit);
        if (limit != nullptr && wait == 0)
            break;
        const Wait w = WaitFor(*dev, POLLOUT, wait, error);
        if (w == Wait::TimedOut)
            break;
        if (w != Wait::Ready)
            return FailOperation(overlapped, put, written, WaitError(w, error));
    }
    return Complete(overlapped, put, written);
}

BOOL GetCommOverlappedResult(HANDLE comm, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL /*wait*/)
{
    if (overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!IsCommHandle(comm))
        return Fail(ERROR_INVALID_HANDLE);
    // Operations complete before their call returns: the record holds the
    // final result already.
    if (transferred != nullptr)
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(overlapped->Internal));
    return TRUE;
}
