// CSerialPort: an opened serial port with blocking, lock-protected Read and
// Write.
//
// Contract
// - Open opens the device of the settings' port name exclusively (a port
//   open elsewhere, in this process or another, is refused), sets the
//   recommended queue sizes, applies the settings' line parameters and the
//   read time-out: a Read returns at once with what is queued, waits for the
//   first byte when nothing is, and returns 0 after the time-out (time-out 0:
//   no wait at all). Writes have no time-out. Open on an open port changes
//   nothing and reports true; every call is counted (GetOpens). When the
//   line parameters cannot be applied the port is closed again and Open
//   reports false.
// - Read reads at most maxBytes (and nothing for a null buffer or a maximum
//   of 0 or less, returning 0). Results: bytes read; 0 on time-out; -1 when
//   the port is not open or the device has failed (hung up, gone, I/O
//   error), so that a caller never mistakes a dead line for a quiet one. The
//   port stays open after a failure; the caller closes it.
// - Write returns the bytes written (0 for nothing to write), or -1 when the
//   port is not open or the device has failed.
// - GetLastError tells why a call failed.
// - In overlapped mode the reads and writes go through the port's
//   OVERLAPPED record and its event; the results are the same.
//
// Thread-safety: every operation takes the port's lock (GetMutex): a Read
// that waits holds it, so a Write from another thread waits until the read
// returns (at most the time-out). Callers that need several operations in a
// row without interleaving hold GetMutex themselves (it is re-entrant).
// IsConnected, GetHandle, GetOpens and GetMaxQueued may be called from any
// thread without the lock.
#pragma once

#include "Brindle/base/CritSec.h"
#include "Brindle/base/SerialSettings.h"

#include <atomic>

namespace Brindle {

class CSerialPort {
public:
    CSerialPort(const CSerialSettings& settings, DWORD access = GENERIC_READ | GENERIC_WRITE, bool overlapped = false);
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Open();
    void Close();
    int Read(char* buffer, int maxBytes);
    int Write(const char* data, unsigned count);

    bool IsConnected() const { return GetHandle() != INVALID_HANDLE_VALUE; }
    HANDLE GetHandle() const { return m_handle.load(std::memory_order_acquire); }
    int GetOpens() const { return m_opens.load(std::memory_order_relaxed); }
    int GetMaxQueued() const { return m_maxQueued.load(std::memory_order_relaxed); }
    CCritSec* GetMutex() { return &m_lock; }
    const CSerialSettings& GetSettings() const { return m_settings; }

private:
    // Updates the largest input queue seen; the queued byte count, or -1
    // with the last error set when the device has failed.
    long ClearErrors(HANDLE handle);
    // Whole operation through the OVERLAPPED record; the count or -1.
    int FinishOverlapped(HANDLE handle, BOOL started);

    char m_portName[CSerialSettings::MaxPortLength + 1];
    std::atomic<HANDLE> m_handle;
    std::atomic<int> m_opens;
    bool m_overlapped;
    std::atomic<int> m_maxQueued;
    DWORD m_access;
    CSerialSettings m_settings;
    OVERLAPPED m_overlappedRecord;
    CCritSec m_lock;
};

} // namespace Brindle
