#include "Platform/Console.h"

#include "Platform/ConsoleTerminal.h"
#include "Platform/KernelObjects.h"
#include "Platform/WinError.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr WORD kDefaultAttribute = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr DWORD kDefaultInputMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;

struct Buffer {
    SHORT width = 0;
    SHORT height = 0;
    std::vector<CHAR_INFO> cells;
    COORD cursor{0, 0};
    CONSOLE_CURSOR_INFO cursorInfo{25, TRUE};
    WORD attribute = kDefaultAttribute;
    DWORD mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    SMALL_RECT window{0, 0, 0, 0};
    // Rows changed since the terminal last showed them.
    int dirtyFirst = INT_MAX;
    int dirtyLast = -1;

    Buffer(SHORT w, SHORT h) { Resize(w, h); }

    void Resize(SHORT w, SHORT h)
    {
        std::vector<CHAR_INFO> next(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), Blank(attribute));
        for (SHORT y = 0; y < std::min(h, height); ++y)
            for (SHORT x = 0; x < std::min(w, width); ++x)
                next[static_cast<std::size_t>(y) * w + x] = At(x, y);
        cells.swap(next);
        width = w;
        height = h;
        window = {0, 0, static_cast<SHORT>(w - 1), static_cast<SHORT>(h - 1)};
        cursor.X = std::min<SHORT>(cursor.X, static_cast<SHORT>(w - 1));
        cursor.Y = std::min<SHORT>(cursor.Y, static_cast<SHORT>(h - 1));
        TouchAll();
    }
    static CHAR_INFO Blank(WORD attr)
    {
        CHAR_INFO c{};
        c.Char.AsciiChar = ' ';
        c.Attributes = attr;
        return c;
    }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    CHAR_INFO& At(int x, int y) { return cells[static_cast<std::size_t>(y) * width + x]; }
    std::size_t Index(COORD c) const { return static_cast<std::size_t>(c.Y) * width + c.X; }
    void Touch(int first, int last)
    {
        dirtyFirst = std::min(dirtyFirst, first);
        dirtyLast = std::max(dirtyLast, last);
    }
    void TouchAll() { Touch(0, height - 1); }
    // Moves every row up by one; the bottom row is blank.
    void ScrollUp()
    {
        std::move(cells.begin() + width, cells.end(), cells.begin());
        std::fill(cells.end() - width, cells.end(), Blank(attribute));
        TouchAll();
    }
};

struct Console {
    std::mutex lock;
    bool allocated = false;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Buffer>> buffers;
    std::uintptr_t nextId = std::uintptr_t{3} << (sizeof(void*) * 8 - 4);
    std::uintptr_t standardId = 0;
    std::shared_ptr<Buffer> active; // stays while active, also when its handle is closed
    HANDLE inputEvent = nullptr;
    std::deque<INPUT_RECORD> input;
    std::string lineLeft; // the rest of a line longer than a ReadConsoleA asked for
    DWORD inputMode = kDefaultInputMode;
    std::string title;
    std::unique_ptr<Platform::ConsoleTerminal> terminal;
    int updates = 0;
    int attachOut = -2; // -2: standard output when it is a terminal
    int attachIn = -2;
    std::thread reader;
    int wakeFd = -1;
};

Console& TheConsole()
{
    // Never destroyed: its reader thread may still run while the process ends.
    static Console* console = new Console;
    return *console;
}

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

std::shared_ptr<Buffer> FindBuffer(Console& c, HANDLE handle)
{
    if (!c.allocated)
        return nullptr;
    auto it = c.buffers.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == c.buffers.end() ? nullptr : it->second;
}

bool IsInput(const Console& c, HANDLE handle)
{
    return c.allocated && handle != nullptr && handle == c.inputEvent;
}

// Brings the terminal up to date with the active buffer, unless an update
// is open.
void Redraw(Console& c)
{
    if (!c.terminal || !c.active || c.updates > 0)
        return;
    Buffer& b = *c.active;
    const SMALL_RECT& w = b.window;
    const int width = w.Right - w.Left + 1;
    const int height = w.Bottom - w.Top + 1;
    const CHAR_INFO* origin = &b.At(w.Left, w.Top);
    const COORD cursor{static_cast<SHORT>(b.cursor.X - w.Left), static_cast<SHORT>(b.cursor.Y - w.Top)};
    const bool none = b.dirtyLast < b.dirtyFirst;
    c.terminal->Draw(origin, width, height, b.width, none ? 1 : b.dirtyFirst - w.Top, none ? 0 : b.dirtyLast - w.Top,
                     cursor, b.cursorInfo.bVisible != FALSE);
    b.dirtyFirst = INT_MAX;
    b.dirtyLast = -1;
}

void Changed(Console& c, Buffer& b, int firstRow, int lastRow)
{
    b.Touch(firstRow, lastRow);
    if (c.active.get() == &b)
        Redraw(c);
}

// The cursor moved, showed or hid: only the cursor is drawn.
void CursorChanged(Console& c, Buffer& b)
{
    if (c.active.get() == &b)
        Redraw(c);
}

void QueueInput(Console& c, const INPUT_RECORD* records, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT && !(c.inputMode & ENABLE_WINDOW_INPUT))
            continue;
        c.input.push_back(records[i]);
    }
    if (!c.input.empty())
        SetEvent(c.inputEvent);
}

// Writes text at the cursor as WriteConsoleA does.
void WriteText(Console& c, Buffer& b, const char* text, std::size_t length)
{
    const bool processed = (b.mode & ENABLE_PROCESSED_OUTPUT) != 0;
    const bool wrap = (b.mode & ENABLE_WRAP_AT_EOL_OUTPUT) != 0;
    int first = b.cursor.Y;
    int last = b.cursor.Y;
    auto newline = [&] {
        b.cursor.X = 0;
        if (b.cursor.Y + 1 < b.height) {
            ++b.cursor.Y;
        } else {
            b.ScrollUp();
            first = 0;
        }
        last = std::max<int>(last, b.cursor.Y);
    };
    for (std::size_t i = 0; i < length; ++i) {
        const char ch = text[i];
        if (processed) {
            if (ch == '\r') {
                b.cursor.X = 0;
                continue;
            }
            if (ch == '\n') {
                newline();
                continue;
            }
            if (ch == '\b') {
                if (b.cursor.X > 0)
                    --b.cursor.X;
                continue;
            }
            if (ch == '\a')
                continue;
            if (ch == '\t') {
                const int stop = std::min<int>((b.cursor.X / 8 + 1) * 8, b.width - 1);
                while (b.cursor.X < stop) {
                    b.At(b.cursor.X, b.cursor.Y) = Buffer::Blank(b.attribute);
                    ++b.cursor.X;
                }
                continue;
            }
        }
        CHAR_INFO& cell = b.At(b.cursor.X, b.cursor.Y);
        cell.Char.AsciiChar = ch;
        cell.Attributes = b.attribute;
        first = std::min<int>(first, b.cursor.Y);
        last = std::max<int>(last, b.cursor.Y);
        if (b.cursor.X + 1 < b.width)
            ++b.cursor.X;
        else if (wrap)
            newline();
    }
    Changed(c, b, first, last);
}

void StopReader(Console& c, std::unique_lock<std::mutex>& held)
{
    if (!c.reader.joinable())
        return;
    const std::uint64_t one = 1;
    (void)!::write(c.wakeFd, &one, sizeof one);
    std::thread reader = std::move(c.reader);
    held.unlock();
    reader.join();
    held.lock();
    ::close(c.wakeFd);
    c.wakeFd = -1;
}

// The keyboard thread: keys and terminal size changes.
void ReadKeyboard(int inFd, int wakeFd)
{
    Console& c = TheConsole();
    Platform::KeyDecoder decoder;
    bool open = true;
    int quiet = 0;
    for (;;) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {open ? inFd : -1, POLLIN, 0}};
        const int timeout = decoder.Pending() ? 30 : 200;
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[0].revents != 0)
            return;
        std::vector<INPUT_RECORD> events;
        if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            unsigned char bytes[256];
            const ssize_t n = ::read(inFd, bytes, sizeof bytes);
            if (n > 0)
                decoder.Feed(bytes, static_cast<std::size_t>(n), events);
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                open = false; // the keyboard has gone; sizes are still watched
        } else if (decoder.Pending()) {
            decoder.Flush(events);
        }
        // The terminal's size, about five times a second.
        const bool checkSize = ready == 0 || ++quiet >= 16;
        if (checkSize)
            quiet = 0;
        std::lock_guard<std::mutex> guard(c.lock);
        if (!c.allocated)
            return;
        if (checkSize && c.terminal && c.terminal->PollSize()) {
            if (c.active)
                c.active->TouchAll();
            Redraw(c);
            INPUT_RECORD r{};
            r.EventType = WINDOW_BUFFER_SIZE_EVENT;
            r.Event.WindowBufferSizeEvent.dwSize = c.terminal->Size();
            events.push_back(r);
        }
        QueueInput(c, events.data(), events.size());
    }
}

// Clips the rectangle to the buffer; false when nothing is left.
bool ClipToBuffer(const Buffer& b, SMALL_RECT& r)
{
    r.Left = std::max<SHORT>(r.Left, 0);
    r.Top = std::max<SHORT>(r.Top, 0);
    r.Right = std::min<SHORT>(r.Right, static_cast<SHORT>(b.width - 1));
    r.Bottom = std::min<SHORT>(r.Bottom, static_cast<SHORT>(b.height - 1));
    return r.Left <= r.Right && r.Top <= r.Bottom;
}

// A run of length cells from `at` on, row after row, cut at the buffer's
// end; false (nothing) when `at` lies outside.
bool Run(const Buffer& b, COORD at, DWORD length, std::size_t& start, std::size_t& count)
{
    if (!b.Inside(at.X, at.Y))
        return false;
    start = b.Index(at);
    count = std::min<std::size_t>(length, b.cells.size() - start);
    return true;
}

} // namespace

BOOL AttachConsoleTerminal(int outputFd, int inputFd)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    c.attachOut = outputFd < 0 ? -1 : outputFd;
    c.attachIn = inputFd < 0 ? -1 : inputFd;
    return TRUE;
}

BOOL AllocConsole()
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.allocated)
        return Fail(ERROR_ACCESS_DENIED);
    const int out = c.attachOut == -2 ? (::isatty(STDOUT_FILENO) ? STDOUT_FILENO : -1) : c.attachOut;
    const int in = c.attachIn == -2 ? (::isatty(STDIN_FILENO) ? STDIN_FILENO : -1) : c.attachIn;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return FALSE;
    COORD size{80, 25};
    if (out >= 0 || in >= 0) {
        c.terminal = std::make_unique<Platform::ConsoleTerminal>(out, in);
        if (out >= 0)
            size = c.terminal->Size();
        c.terminal->Enter();
    }
    auto standard = std::make_shared<Buffer>(size.X, size.Y);
    c.standardId = c.nextId++;
    c.buffers.emplace(c.standardId, standard);
    c.active = standard;
    c.inputEvent = event;
    c.input.clear();
    c.lineLeft.clear();
    c.inputMode = kDefaultInputMode;
    c.updates = 0;
    c.allocated = true;
    if (in >= 0) {
        c.wakeFd = ::eventfd(0, EFD_CLOEXEC);
        if (c.wakeFd >= 0)
            c.reader = std::thread(ReadKeyboard, in, c.wakeFd);
    }
    Redraw(c);
    return TRUE;
}

BOOL FreeConsole()
{
    Console& c = TheConsole();
    std::unique_lock<std::mutex> guard(c.lock);
    if (!c.allocated)
        return Fail(ERROR_INVALID_PARAMETER);
    c.allocated = false;
    StopReader(c, guard);
    if (c.terminal) {
        c.terminal->Leave();
        c.terminal.reset();
    }
    c.buffers.clear();
    c.active.reset();
    c.input.clear();
    c.lineLeft.clear();
    // Wake anyone waiting for input, who then finds the console gone.
    SetEvent(c.inputEvent);
    CloseHandle(c.inputEvent);
    c.inputEvent = nullptr;
    return TRUE;
}

HANDLE GetStdHandle(DWORD which)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.allocated) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    switch (which) {
    case STD_INPUT_HANDLE:
        return c.inputEvent;
    case STD_OUTPUT_HANDLE:
    case STD_ERROR_HANDLE:
        return reinterpret_cast<HANDLE>(c.standardId);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
}

HANDLE CreateConsoleScreenBuffer(DWORD, DWORD, const SECURITY_ATTRIBUTES*, DWORD flags, LPVOID)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.allocated) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (flags != CONSOLE_TEXTMODE_BUFFER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const Buffer& standard = *c.buffers.at(c.standardId);
    const std::uintptr_t id = c.nextId++;
    c.buffers.emplace(id, std::make_shared<Buffer>(standard.width, standard.height));
    return reinterpret_cast<HANDLE>(id);
}

BOOL CloseConsoleHandle(HANDLE handle)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!FindBuffer(c, handle))
        return Fail(ERROR_INVALID_HANDLE);
    if (reinterpret_cast<std::uintptr_t>(handle) == c.standardId)
        return Fail(ERROR_ACCESS_DENIED);
    c.buffers.erase(reinterpret_cast<std::uintptr_t>(handle));
    return TRUE;
}

BOOL SetConsoleActiveScreenBuffer(HANDLE buffer)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (c.active != b) {
        c.active = b;
        b->TouchAll();
        if (c.terminal)
            c.terminal->Invalidate();
        Redraw(c);
    }
    return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE buffer, CONSOLE_SCREEN_BUFFER_INFO* info)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (info == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    info->dwSize = {b->width, b->height};
    info->dwCursorPosition = b->cursor;
    info->wAttributes = b->attribute;
    info->srWindow = b->window;
    const COORD screen = c.terminal ? c.terminal->Size() : COORD{80, 25};
    info->dwMaximumWindowSize = {std::min(b->width, screen.X), std::min(b->height, screen.Y)};
    return TRUE;
}

BOOL SetConsoleScreenBufferSize(HANDLE buffer, COORD size)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (size.X < 1 || size.Y < 1)
        return Fail(ERROR_INVALID_PARAMETER);
    b->Resize(size.X, size.Y);
    if (c.active == b && c.terminal)
        c.terminal->Invalidate();
    Changed(c, *b, 0, b->height - 1);
    return TRUE;
}

BOOL SetConsoleWindowInfo(HANDLE buffer, BOOL absolute, const SMALL_RECT* window)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (window == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    SMALL_RECT w = *window;
    if (!absolute) {
        w.Left = static_cast<SHORT>(b->window.Left + w.Left);
        w.Top = static_cast<SHORT>(b->window.Top + w.Top);
        w.Right = static_cast<SHORT>(b->window.Right + w.Right);
        w.Bottom = static_cast<SHORT>(b->window.Bottom + w.Bottom);
    }
    if (w.Left < 0 || w.Top < 0 || w.Right < w.Left || w.Bottom < w.Top || w.Right >= b->width ||
        w.Bottom >= b->height)
        return Fail(ERROR_INVALID_PARAMETER);
    b->window = w;
    if (c.active == b && c.terminal)
        c.terminal->Invalidate();
    Changed(c, *b, 0, b->height - 1);
    return TRUE;
}

COORD GetLargestConsoleWindowSize(HANDLE buffer)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!FindBuffer(c, buffer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return {0, 0};
    }
    return c.terminal ? c.terminal->Size() : COORD{80, 25};
}

BOOL SetConsoleCursorPosition(HANDLE buffer, COORD position)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (!b->Inside(position.X, position.Y))
        return Fail(ERROR_INVALID_PARAMETER);
    b->cursor = position;
    CursorChanged(c, *b);
    return TRUE;
}

BOOL GetConsoleCursorInfo(HANDLE buffer, CONSOLE_CURSOR_INFO* info)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (info == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *info = b->cursorInfo;
    return TRUE;
}

BOOL SetConsoleCursorInfo(HANDLE buffer, const CONSOLE_CURSOR_INFO* info)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (info == nullptr || info->dwSize < 1 || info->dwSize > 100)
        return Fail(ERROR_INVALID_PARAMETER);
    b->cursorInfo = *info;
    CursorChanged(c, *b);
    return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE buffer, WORD attributes)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    b->attribute = attributes;
    return TRUE;
}

BOOL GetConsoleMode(HANDLE handle, LPDWORD mode)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (mode == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (IsInput(c, handle)) {
        *mode = c.inputMode;
        return TRUE;
    }
    auto b = FindBuffer(c, handle);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    *mode = b->mode;
    return TRUE;
}

BOOL SetConsoleMode(HANDLE handle, DWORD mode)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (IsInput(c, handle)) {
        // Echo works only with line input, as on Windows.
        if ((mode & ENABLE_ECHO_INPUT) && !(mode & ENABLE_LINE_INPUT))
            return Fail(ERROR_INVALID_PARAMETER);
        c.inputMode = mode;
        if (c.terminal)
            c.terminal->SetProcessedInput((mode & ENABLE_PROCESSED_INPUT) != 0);
        return TRUE;
    }
    auto b = FindBuffer(c, handle);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    b->mode = mode & (ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
    return TRUE;
}

BOOL ReadConsoleOutputA(HANDLE buffer, CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord, SMALL_RECT* readRegion)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (cells == nullptr || readRegion == nullptr || cellsSize.X < 1 || cellsSize.Y < 1)
        return Fail(ERROR_INVALID_PARAMETER);
    SMALL_RECT r = *readRegion;
    // No more than the cells array holds from cellsCoord on.
    r.Right = static_cast<SHORT>(std::min<int>(r.Right, r.Left + (cellsSize.X - cellsCoord.X) - 1));
    r.Bottom = static_cast<SHORT>(std::min<int>(r.Bottom, r.Top + (cellsSize.Y - cellsCoord.Y) - 1));
    const SMALL_RECT asked = r;
    if (cellsCoord.X < 0 || cellsCoord.Y < 0 || !ClipToBuffer(*b, r)) {
        readRegion->Right = static_cast<SHORT>(readRegion->Left - 1);
        readRegion->Bottom = static_cast<SHORT>(readRegion->Top - 1);
        return TRUE;
    }
    for (int y = r.Top; y <= r.Bottom; ++y)
        for (int x = r.Left; x <= r.Right; ++x)
            cells[static_cast<std::size_t>(cellsCoord.Y + y - asked.Top) * cellsSize.X + (cellsCoord.X + x - asked.Left)] =
                b->At(x, y);
    *readRegion = r;
    return TRUE;
}

BOOL WriteConsoleOutputA(HANDLE buffer, const CHAR_INFO* cells, COORD cellsSize, COORD cellsCoord,
                         SMALL_RECT* writeRegion)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (cells == nullptr || writeRegion == nullptr || cellsSize.X < 1 || cellsSize.Y < 1)
        return Fail(ERROR_INVALID_PARAMETER);
    SMALL_RECT r = *writeRegion;
    r.Right = static_cast<SHORT>(std::min<int>(r.Right, r.Left + (cellsSize.X - cellsCoord.X) - 1));
    r.Bottom = static_cast<SHORT>(std::min<int>(r.Bottom, r.Top + (cellsSize.Y - cellsCoord.Y) - 1));
    const SMALL_RECT asked = r;
    if (cellsCoord.X < 0 || cellsCoord.Y < 0 || !ClipToBuffer(*b, r)) {
        writeRegion->Right = static_cast<SHORT>(writeRegion->Left - 1);
        writeRegion->Bottom = static_cast<SHORT>(writeRegion->Top - 1);
        return TRUE;
    }
    for (int y = r.Top; y <= r.Bottom; ++y)
        for (int x = r.Left; x <= r.Right; ++x)
            b->At(x, y) = cells[static_cast<std::size_t>(cellsCoord.Y + y - asked.Top) * cellsSize.X +
                                (cellsCoord.X + x - asked.Left)];
    *writeRegion = r;
    Changed(c, *b, r.Top, r.Bottom);
    return TRUE;
}

BOOL ReadConsoleOutputCharacterA(HANDLE buffer, LPSTR text, DWORD length, COORD from, LPDWORD read)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if ((text == nullptr && length > 0) || read == nullptr || !Run(*b, from, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        text[i] = b->cells[start + i].Char.AsciiChar;
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WriteConsoleOutputCharacterA(HANDLE buffer, LPCSTR text, DWORD length, COORD at, LPDWORD written)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if ((text == nullptr && length > 0) || written == nullptr || !Run(*b, at, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        b->cells[start + i].Char.AsciiChar = text[i];
    *written = static_cast<DWORD>(count);
    if (count > 0)
        Changed(c, *b, at.Y, static_cast<int>((start + count - 1) / b->width));
    return TRUE;
}

BOOL ReadConsoleOutputAttribute(HANDLE buffer, WORD* attributes, DWORD length, COORD from, LPDWORD read)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if ((attributes == nullptr && length > 0) || read == nullptr || !Run(*b, from, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        attributes[i] = b->cells[start + i].Attributes;
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WriteConsoleOutputAttribute(HANDLE buffer, const WORD* attributes, DWORD length, COORD at, LPDWORD written)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if ((attributes == nullptr && length > 0) || written == nullptr || !Run(*b, at, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        b->cells[start + i].Attributes = attributes[i];
    *written = static_cast<DWORD>(count);
    if (count > 0)
        Changed(c, *b, at.Y, static_cast<int>((start + count - 1) / b->width));
    return TRUE;
}

BOOL FillConsoleOutputCharacterA(HANDLE buffer, CHAR ch, DWORD length, COORD at, LPDWORD written)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if (written == nullptr || !Run(*b, at, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        b->cells[start + i].Char.AsciiChar = ch;
    *written = static_cast<DWORD>(count);
    if (count > 0)
        Changed(c, *b, at.Y, static_cast<int>((start + count - 1) / b->width));
    return TRUE;
}

BOOL FillConsoleOutputAttribute(HANDLE buffer, WORD attribute, DWORD length, COORD at, LPDWORD written)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    std::size_t start = 0;
    std::size_t count = 0;
    if (written == nullptr || !Run(*b, at, length, start, count))
        return Fail(ERROR_INVALID_PARAMETER);
    for (std::size_t i = 0; i < count; ++i)
        b->cells[start + i].Attributes = attribute;
    *written = static_cast<DWORD>(count);
    if (count > 0)
        Changed(c, *b, at.Y, static_cast<int>((start + count - 1) / b->width));
    return TRUE;
}

BOOL ScrollConsoleScreenBufferA(HANDLE buffer, const SMALL_RECT* scroll, const SMALL_RECT* clip, COORD dest,
                                const CHAR_INFO* fill)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (scroll == nullptr || fill == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    SMALL_RECT source = *scroll;
    if (!ClipToBuffer(*b, source))
        return Fail(ERROR_INVALID_PARAMETER);
    SMALL_RECT bounds = clip != nullptr ? *clip : SMALL_RECT{0, 0, static_cast<SHORT>(b->width - 1),
                                                               static_cast<SHORT>(b->height - 1)};
    if (!ClipToBuffer(*b, bounds))
        return TRUE;
    // The source as it was, then the fill where it was, then the copy.
    const int w = source.Right - source.Left + 1;
    const int h = source.Bottom - source.Top + 1;
    std::vector<CHAR_INFO> copy(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            copy[static_cast<std::size_t>(y) * w + x] = b->At(source.Left + x, source.Top + y);
    auto inside = [&](int x, int y) {
        return x >= bounds.Left && x <= bounds.Right && y >= bounds.Top && y <= bounds.Bottom;
    };
    for (int y = source.Top; y <= source.Bottom; ++y)
        for (int x = source.Left; x <= source.Right; ++x)
            if (inside(x, y))
                b->At(x, y) = *fill;
    // Where the source's top left lands, for the part of it kept by clipping.
    const int dx = dest.X + (source.Left - scroll->Left);
    const int dy = dest.Y + (source.Top - scroll->Top);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (b->Inside(dx + x, dy + y) && inside(dx + x, dy + y))
                b->At(dx + x, dy + y) = copy[static_cast<std::size_t>(y) * w + x];
    Changed(c, *b, std::min<int>(source.Top, std::max(dy, 0)), std::max<int>(source.Bottom, std::min(dy + h - 1, b->height - 1)));
    return TRUE;
}

BOOL WriteConsoleA(HANDLE buffer, const void* text, DWORD length, LPDWORD written, LPVOID)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    auto b = FindBuffer(c, buffer);
    if (!b)
        return Fail(ERROR_INVALID_HANDLE);
    if (text == nullptr && length > 0)
        return Fail(ERROR_INVALID_PARAMETER);
    WriteText(c, *b, static_cast<const char*>(text), length);
    if (written != nullptr)
        *written = length;
    return TRUE;
}

BOOL ReadConsoleA(HANDLE input, LPVOID text, DWORD length, LPDWORD read, LPVOID)
{
    Console& c = TheConsole();
    if (text == nullptr || read == nullptr || length == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    char* out = static_cast<char*>(text);
    std::string line;
    for (;;) {
        HANDLE event = nullptr;
        {
            std::lock_guard<std::mutex> guard(c.lock);
            if (!IsInput(c, input))
                return Fail(ERROR_INVALID_HANDLE);
            const bool lineMode = (c.inputMode & ENABLE_LINE_INPUT) != 0;
            if (!c.lineLeft.empty()) {
                const std::size_t n = std::min<std::size_t>(length, c.lineLeft.size());
                std::memcpy(out, c.lineLeft.data(), n);
                c.lineLeft.erase(0, n);
                *read = static_cast<DWORD>(n);
                return TRUE;
            }
            while (!c.input.empty()) {
                const INPUT_RECORD r = c.input.front();
                c.input.pop_front();
                if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown || r.Event.KeyEvent.uChar.AsciiChar == 0)
                    continue;
                const char ch = r.Event.KeyEvent.uChar.AsciiChar;
                const bool echo = lineMode && (c.inputMode & ENABLE_ECHO_INPUT) && c.active;
                if (!lineMode) {
                    line += ch;
                    if (line.size() >= length)
                        break;
                    continue;
                }
                if (ch == '\b') {
                    if (!line.empty()) {
                        line.pop_back();
                        if (echo)
                            WriteText(c, *c.active, "\b \b", 3);
                    }
                    continue;
                }
                if (ch == '\r') {
                    line += "\r\n";
                    if (echo)
                        WriteText(c, *c.active, "\r\n", 2);
                    const std::size_t n = std::min<std::size_t>(length, line.size());
                    std::memcpy(out, line.data(), n);
                    c.lineLeft = line.substr(n);
                    *read = static_cast<DWORD>(n);
                    if (c.input.empty())
                        ResetEvent(c.inputEvent);
                    return TRUE;
                }
                line += ch;
                if (echo)
                    WriteText(c, *c.active, &ch, 1);
            }
            if (c.input.empty())
                ResetEvent(c.inputEvent);
            if (!lineMode && !line.empty()) {
                std::memcpy(out, line.data(), line.size());
                *read = static_cast<DWORD>(line.size());
                return TRUE;
            }
            event = c.inputEvent;
        }
        if (WaitForSingleObject(event, INFINITE) == WAIT_FAILED)
            return Fail(ERROR_INVALID_HANDLE);
    }
}

BOOL SetConsoleTitleA(LPCSTR title)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.allocated)
        return Fail(ERROR_INVALID_HANDLE);
    if (title == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    c.title = title;
    if (c.terminal)
        c.terminal->SetTitle(c.title);
    return TRUE;
}

DWORD GetConsoleTitleA(LPSTR title, DWORD size)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.allocated) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (title == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(size - 1, c.title.size());
    std::memcpy(title, c.title.data(), n);
    title[n] = '\0';
    return static_cast<DWORD>(c.title.size());
}

namespace {

BOOL TakeInput(HANDLE input, INPUT_RECORD* records, DWORD length, LPDWORD read, bool remove, bool wait)
{
    Console& c = TheConsole();
    if (records == nullptr || read == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    for (;;) {
        HANDLE event = nullptr;
        {
            std::lock_guard<std::mutex> guard(c.lock);
            if (!IsInput(c, input))
                return Fail(ERROR_INVALID_HANDLE);
            if (!c.input.empty() || !wait || length == 0) {
                const std::size_t n = std::min<std::size_t>(length, c.input.size());
                std::copy_n(c.input.begin(), n, records);
                if (remove)
                    c.input.erase(c.input.begin(), c.input.begin() + static_cast<std::ptrdiff_t>(n));
                if (c.input.empty())
                    ResetEvent(c.inputEvent);
                *read = static_cast<DWORD>(n);
                return TRUE;
            }
            event = c.inputEvent;
        }
        if (WaitForSingleObject(event, INFINITE) == WAIT_FAILED)
            return Fail(ERROR_INVALID_HANDLE);
    }
}

} // namespace

BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, LPDWORD read)
{
    return TakeInput(input, records, length, read, true, true);
}

BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, LPDWORD read)
{
    return TakeInput(input, records, length, read, false, false);
}

BOOL GetNumberOfConsoleInputEvents(HANDLE input, LPDWORD count)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!IsInput(c, input))
        return Fail(ERROR_INVALID_HANDLE);
    if (count == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *count = static_cast<DWORD>(c.input.size());
    return TRUE;
}

BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* records, DWORD length, LPDWORD written)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!IsInput(c, input))
        return Fail(ERROR_INVALID_HANDLE);
    if ((records == nullptr && length > 0) || written == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    c.input.insert(c.input.end(), records, records + length);
    if (!c.input.empty())
        SetEvent(c.inputEvent);
    *written = length;
    return TRUE;
}

BOOL FlushConsoleInputBuffer(HANDLE input)
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!IsInput(c, input))
        return Fail(ERROR_INVALID_HANDLE);
    c.input.clear();
    c.lineLeft.clear();
    ResetEvent(c.inputEvent);
    return TRUE;
}

void BeginConsoleUpdate()
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    ++c.updates;
}

void EndConsoleUpdate()
{
    Console& c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.updates > 0 && --c.updates == 0)
        Redraw(c);
}
