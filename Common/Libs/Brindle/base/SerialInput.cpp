#include "Brindle/base/SerialInput.h"

#include "Brindle/base/Exception.h"
#include "Platform/KernelObjects.h"
#include "Platform/WinError.h"

#include <vector>

namespace Brindle {

CSerialInput::CSerialInput(const CSerialSettings& settings)
    : m_thread(INVALID_HANDLE_VALUE),
      m_threadId(0xFFFFFFFFu),
      m_running(false),
      m_port(std::make_unique<CSerialPort>(settings, GENERIC_READ | GENERIC_WRITE, false)),
      m_sink(nullptr),
      m_stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (m_stopEvent == nullptr)
        throw CException("CSerialInput: cannot create its stop event", ::GetLastError());
}

CSerialInput::~CSerialInput()
{
    try {
        StopThread();
    } catch (...) {
        // A destructor does not throw.
    }
    CloseHandle(m_stopEvent);
}

bool CSerialInput::StartThread(CDatasink* sink)
{
    if (m_running.load(std::memory_order_acquire))
        return true;
    m_sink = sink;
    ResetEvent(m_stopEvent);
    m_running.store(true, std::memory_order_release);
    DWORD id = 0;
    const HANDLE thread = BeginThread(&CSerialInput::ThreadEntry, this, "SerialInput", &id);
    if (thread == nullptr) {
        m_running.store(false, std::memory_order_release);
        return false;
    }
    m_thread = thread;
    m_threadId = id;
    return true;
}

bool CSerialInput::StopThread()
{
    if (!m_running.exchange(false, std::memory_order_acq_rel))
        return true;
    SetEvent(m_stopEvent);
    if (m_thread != INVALID_HANDLE_VALUE) {
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = INVALID_HANDLE_VALUE;
    }
    m_port->Close();
    return true;
}

unsigned CSerialInput::ThreadEntry(void* self)
{
    static_cast<CSerialInput*>(self)->ReadLoop();
    return 0;
}

void CSerialInput::ReadLoop()
{
    std::vector<char> buffer(ReadBufferSize);
    while (m_running.load(std::memory_order_acquire)) {
        HANDLE handle = INVALID_HANDLE_VALUE;
        try {
            if (!WaitForPort(handle))
                return;
            ReadUntilLost(handle, buffer.data());
            if (!m_running.load(std::memory_order_acquire))
                return;
        } catch (...) {
            // A failing sink ends this connection, as a failing line does.
        }
        CloseAndReport(handle);
    }
}

bool CSerialInput::WaitForPort(HANDLE& handle)
{
    while (!m_port->IsConnected()) {
        if (!m_running.load(std::memory_order_acquire))
            return false;
        if (WaitForSingleObject(m_stopEvent, ReopenDelayMs) == WAIT_OBJECT_0)
            return false;
        if (m_port->Open()) {
            handle = m_port->GetHandle();
            if (m_sink != nullptr)
                m_sink->OnOpen(handle);
        }
    }
    if (handle == INVALID_HANDLE_VALUE)
        handle = m_port->GetHandle();
    return true;
}

void CSerialInput::ReadUntilLost(HANDLE handle, char* buffer)
{
    // With a time-out of 0 a read never waits; pause a little between empty
    // reads so that a quiet line does not keep a processor busy.
    const DWORD idlePause = m_port->GetSettings().GetTimeout() == 0 ? 10 : 0;
    while (m_running.load(std::memory_order_acquire)) {
        const int count = m_port->Read(buffer, ReadBufferSize);
        if (count < 0)
            return; // the line failed
        if (count > 0 && m_sink != nullptr)
            m_sink->OnData(buffer, count, handle);
        else if (idlePause != 0)
            WaitForSingleObject(m_stopEvent, idlePause);
    }
}

void CSerialInput::CloseAndReport(HANDLE handle)
{
    m_port->Close();
    if (handle == INVALID_HANDLE_VALUE || m_sink == nullptr)
        return;
    try {
        m_sink->OnClose(handle);
    } catch (...) {
        // Nothing is left to undo; the reader goes back to reopening.
    }
}

} // namespace Brindle
