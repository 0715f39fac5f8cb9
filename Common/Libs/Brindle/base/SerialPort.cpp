#include "Brindle/base/SerialPort.h"

#include "Platform/KernelObjects.h"
#include "Platform/WinError.h"

#include <climits>
#include <cstring>

namespace Brindle {

CSerialPort::CSerialPort(const CSerialSettings& settings, DWORD access, bool overlapped)
    : m_portName{},
      m_handle(INVALID_HANDLE_VALUE),
      m_opens(0),
      m_overlapped(overlapped),
      m_maxQueued(0),
      m_access(access),
      m_settings(settings)
{
    const char* port = settings.GetPort();
    std::memcpy(m_portName, port, ::strnlen(port, CSerialSettings::MaxPortLength));
}

CSerialPort::~CSerialPort()
{
    Close();
}

bool CSerialPort::Open()
{
    CSyncLock<CCritSec> lock(&m_lock);
    m_opens.fetch_add(1, std::memory_order_relaxed);
    if (IsConnected())
        return true;

    const HANDLE handle =
        CreateCommFile(m_portName, m_access, m_overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;

    SetupComm(handle, static_cast<DWORD>(m_settings.GetInputBufferSize()),
              static_cast<DWORD>(m_settings.GetOutputBufferSize()));
    DCB dcb;
    BOOL applied = GetCommState(handle, &dcb);
    if (applied) {
        m_settings.PutCommState(dcb);
        applied = SetCommState(handle, &dcb);
    }
    if (!applied) {
        const DWORD error = ::GetLastError();
        CloseCommFile(handle);
        SetLastError(error);
        return false;
    }
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(m_settings.GetTimeout());
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(handle, &timeouts);

    if (m_overlapped) {
        m_overlappedRecord = OVERLAPPED();
        m_overlappedRecord.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (m_overlappedRecord.hEvent == nullptr) {
            const DWORD error = ::GetLastError();
            CloseCommFile(handle);
            SetLastError(error);
            return false;
        }
    }
    m_handle.store(handle, std::memory_order_release);
    return true;
}

void CSerialPort::Close()
{
    CSyncLock<CCritSec> lock(&m_lock);
    const HANDLE handle = m_handle.exchange(INVALID_HANDLE_VALUE, std::memory_order_acq_rel);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    CloseCommFile(handle);
    if (m_overlappedRecord.hEvent != nullptr) {
        CloseHandle(m_overlappedRecord.hEvent);
        m_overlappedRecord.hEvent = nullptr;
    }
}

long CSerialPort::ClearErrors(HANDLE handle)
{
    DWORD errors = 0;
    COMSTAT stat;
    if (!ClearCommError(handle, &errors, &stat))
        return -1;
    const int queued = stat.cbInQue > INT_MAX ? INT_MAX : static_cast<int>(stat.cbInQue);
    int seen = m_maxQueued.load(std::memory_order_relaxed);
    while (queued > seen && !m_maxQueued.compare_exchange_weak(seen, queued, std::memory_order_relaxed)) {
    }
    return queued;
}

int CSerialPort::FinishOverlapped(HANDLE handle, BOOL started)
{
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
        return -1;
    if (WaitForSingleObject(m_overlappedRecord.hEvent, INFINITE) == WAIT_FAILED)
        return -1;
    DWORD count = 0;
    if (!GetCommOverlappedResult(handle, &m_overlappedRecord, &count, TRUE))
        return -1;
    return static_cast<int>(count);
}

int CSerialPort::Read(char* buffer, int maxBytes)
{
    if (buffer == nullptr || maxBytes <= 0)
        return 0;
    CSyncLock<CCritSec> lock(&m_lock);
    const HANDLE handle = GetHandle();
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    const long queued = ClearErrors(handle);
    if (queued < 0)
        return -1;
    // Whatever is queued, up to the maximum. When nothing is, the read waits
    // for the first bytes and returns with what has come by then (up to the
    // maximum), instead of one byte now and the rest on the next call.
    const DWORD toRead = static_cast<DWORD>(queued > 0 && queued < maxBytes ? queued : maxBytes);
    DWORD count = 0;
    if (!m_overlapped)
        return ReadCommFile(handle, buffer, toRead, &count, nullptr) ? static_cast<int>(count) : -1;
    return FinishOverlapped(handle, ReadCommFile(handle, buffer, toRead, &count, &m_overlappedRecord));
}

int CSerialPort::Write(const char* data, unsigned count)
{
    if (data == nullptr || count == 0)
        return 0;
    const DWORD toWrite = count > INT_MAX ? static_cast<DWORD>(INT_MAX) : count;
    CSyncLock<CCritSec> lock(&m_lock);
    const HANDLE handle = GetHandle();
    if (handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if (ClearErrors(handle) < 0)
        return -1;
    DWORD written = 0;
    if (!m_overlapped)
        return WriteCommFile(handle, data, toWrite, &written, nullptr) ? static_cast<int>(written) : -1;
    return FinishOverlapped(handle, WriteCommFile(handle, data, toWrite, &written, &m_overlappedRecord));
}

} // namespace Brindle
