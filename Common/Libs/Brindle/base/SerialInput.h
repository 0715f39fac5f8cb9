// CSerialInput: a background reader that keeps a serial port open and hands
// every block of received bytes to a data sink.
//
// Contract
// - The constructor makes the port (closed; read and write access, not
//   overlapped); it throws CException only when the system cannot make the
//   reader's stop event.
// - StartThread starts the reader (true at once when it runs already; false
//   when no thread could be made, GetLastError says why). The
//   reader opens the port one second after the start and retries once a
//   second while the port cannot be opened. Each open is reported with
//   OnOpen(handle); each block read with OnData(bytes, count, handle), in
//   the order the bytes arrived.
// - When the line fails (hang-up, device gone, I/O error) or a sink call
//   throws, the reader closes the port, reports OnClose with the same
//   handle OnOpen had, and goes back to reopening once a second. A failing
//   line never makes the reader spin.
// - StopThread ends the reader and waits for it without a time limit (about
//   one read time-out at most, at once while it waits to reopen), then
//   closes the port; a stop is not reported to the sink. Always true.
// - The sink is not owned and must outlive the reader. Exceptions thrown by
//   OnClose are discarded.
//
// Thread-safety: StartThread, StopThread and destruction from one
// controlling thread; IsConnected and GetPort from any thread. The sink's
// calls run on the reader thread. Other threads may use the port (Write
// under its lock) while the reader runs.
#pragma once

#include "Brindle/base/Datasink.h"
#include "Brindle/base/SerialPort.h"

#include <atomic>
#include <memory>

namespace Brindle {

class CSerialInput {
public:
    // Size of the reader's buffer: the largest block handed to OnData.
    static constexpr int ReadBufferSize = 32768;
    // Pause between two attempts to open the port.
    static constexpr DWORD ReopenDelayMs = 1000;

    explicit CSerialInput(const CSerialSettings& settings);
    ~CSerialInput();
    CSerialInput(const CSerialInput&) = delete;
    CSerialInput& operator=(const CSerialInput&) = delete;

    bool StartThread(CDatasink* sink);
    bool StopThread();
    bool IsConnected() const { return m_port != nullptr && m_port->IsConnected(); }
    CSerialPort* GetPort() { return m_port.get(); }

private:
    static unsigned ThreadEntry(void* self);
    void ReadLoop();
    // Opens the port once a second until it is open (true) or the reader is
    // stopped (false).
    bool WaitForPort(HANDLE& handle);
    // Reads until the line fails or the reader is stopped.
    void ReadUntilLost(HANDLE handle, char* buffer);
    void CloseAndReport(HANDLE handle);

    HANDLE m_thread;
    DWORD m_threadId;
    std::atomic<bool> m_running;
    std::unique_ptr<CSerialPort> m_port;
    CDatasink* m_sink;
    // Set by StopThread so that a reader waiting to reopen ends at once.
    HANDLE m_stopEvent;
};

} // namespace Brindle
