// CConsole: the process's console: allocating and freeing it, its title,
// its input mode (with a raw mode for programs that read single keys), its
// input events and text, and the active screen buffer.
//
// Contract
// - Alloc makes the console (false when the process has one already, or it
//   cannot be made) and holds its standard output buffer as the active one.
//   Free (and the destructor, for a console this holder made) ends it; the
//   screen buffers of it then fail every call.
// - Raw mode: keys arrive one by one, unechoed, and Ctrl+C is a key rather
//   than an interrupt; leaving raw mode gives back the mode from before.
// - ReadInput waits for at least one event; WaitForInput waits at most the
//   given milliseconds (INFINITE: without end) and tells whether input is
//   there. ReadText reads characters as the input mode says (a whole line
//   in line mode).
// - SetActiveScreenBuffer shows a buffer and holds it; the holder keeps it
//   until another one is made active or the console ends.
//
// Thread-safety: input may be read on one thread while another draws; the
// holder's own members (the active buffer, the saved mode) are changed by
// one thread at a time.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/console/ScreenBuffer.h"

#include <string>

namespace Brindle {

class CConsole {
public:
    CConsole() = default;
    ~CConsole();
    CConsole(const CConsole&) = delete;
    CConsole& operator=(const CConsole&) = delete;

    bool Alloc();
    bool Free();
    bool IsAllocated() const { return m_allocated; }

    bool SetTitle(const std::string& title);
    std::string GetTitle() const;

    HANDLE GetInputHandle() const;
    DWORD GetInputMode() const;
    bool SetInputMode(DWORD mode);
    bool SetRawMode(bool raw);
    bool IsRawMode() const { return m_raw; }

    // Events read (at least 1), 0 on failure.
    DWORD ReadInput(INPUT_RECORD* records, DWORD length);
    bool ReadInput(INPUT_RECORD& record);
    DWORD PeekInput(INPUT_RECORD* records, DWORD length) const;
    DWORD GetInputEventCount() const;
    bool WaitForInput(DWORD milliseconds) const;
    // Up to `length` characters; empty on failure.
    std::string ReadText(DWORD length);
    bool WriteInput(const INPUT_RECORD* records, DWORD length);
    bool FlushInput();

    // A new screen buffer of this console (null when there is none).
    CRefCountedPtr<CScreenBuffer> CreateScreenBuffer();
    CRefCountedPtr<CScreenBuffer> GetActiveScreenBuffer() const { return m_active; }
    bool SetActiveScreenBuffer(const CRefCountedPtr<CScreenBuffer>& buffer);

private:
    bool m_allocated = false;
    bool m_raw = false;
    DWORD m_modeBeforeRaw = 0;
    CRefCountedPtr<CScreenBuffer> m_active;
};

} // namespace Brindle
