// Console windows on a terminal: the bytes written to the terminal for one
// line of a scrolling log pane (an 80 x 22 bordered pane under a status
// pane on an 80 x 25 screen), next to the bytes of a full redraw of the same
// screen, which is what a terminal writer that does not compare cells would
// send for every change. Also the bytes of one clock update in the status
// pane. The counters are bytes per update and, for the log pane, the cells
// that changed on the screen per update (what the goal is measured by).
//
// The terminal is a memory file: what the console writes to it is counted
// by its file offset.
#include "Brindle/console/Console.h"
#include "Brindle/console/ConsoleWnd.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace Brindle;

namespace {

constexpr WORD kGrey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr WORD kStatus = kGrey | FOREGROUND_INTENSITY | BACKGROUND_BLUE;

// The screen of the demo: a status pane and a log pane below it, drawn on a
// memory file standing for the terminal.
class Screen {
public:
    Screen() : m_fd(::memfd_create("console-bench", MFD_CLOEXEC))
    {
        AttachConsoleTerminal(m_fd, -1);
        m_ok = m_console.Alloc();
        if (!m_ok)
            return;
        m_screen = m_console.GetActiveScreenBuffer();
        m_screen->ShowCursor(false);
        m_mgr.SetScreenBuffer(m_screen);
        m_status = m_mgr.CreateConsoleWnd(0, 0, 80, 3, kStatus);
        m_log = m_mgr.CreateConsoleWnd(0, 3, 80, 22, kGrey);
        m_status->DrawBorder(true);
        m_log->DrawBorder(true);
        m_status->Show();
        m_log->Show();
        Status(0);
        for (int i = 0; i < 40; ++i)
            LogLine();
    }
    ~Screen()
    {
        m_mgr.SetScreenBuffer(nullptr);
        m_screen = nullptr;
        m_console.Free();
        AttachConsoleTerminal(-2, -2);
        ::close(m_fd);
    }
    bool Ok() const { return m_ok; }

    void LogLine()
    {
        ++m_lines;
        char text[64];
        std::snprintf(text, sizeof text, "line %04ld  12:%02ld:%02ld  price %ld.%02ld", m_lines, m_lines / 60 % 60,
                      m_lines % 60, 100 + m_lines % 37, m_lines * 7 % 100);
        m_log->WriteLine(text);
    }
    void Status(long second)
    {
        char text[80];
        std::snprintf(text, sizeof text, " 12:%02ld:%02ld UTC   lines %ld", second / 60 % 60, second % 60, m_lines);
        std::string padded = text;
        padded.resize(78, ' ');
        m_status->Write(1, 1, padded);
    }
    // Everything written again, as a writer that keeps no copy would.
    void FullRedraw()
    {
        const SMALL_RECT window = m_screen->GetWindowRect();
        m_screen->SetWindowRect(window);
    }

    // Bytes written to the terminal so far.
    long long Written() const { return ::lseek(m_fd, 0, SEEK_CUR); }
    // Starts the terminal file afresh so that it does not grow without end.
    void Rewind()
    {
        ::ftruncate(m_fd, 0);
        ::lseek(m_fd, 0, SEEK_SET);
    }
    std::vector<CHAR_INFO> Cells() const
    {
        std::vector<CHAR_INFO> cells(80 * 25);
        SMALL_RECT all{0, 0, 79, 24};
        m_screen->ReadCells(cells.data(), {80, 25}, {0, 0}, all);
        return cells;
    }

private:
    int m_fd;
    bool m_ok = false;
    CConsole m_console;
    CRefCountedPtr<CScreenBuffer> m_screen;
    CConsoleWndMgr m_mgr;
    CRefCountedPtr<CConsoleWnd> m_status;
    CRefCountedPtr<CConsoleWnd> m_log;
    long m_lines = 0;
};

long Changed(const std::vector<CHAR_INFO>& a, const std::vector<CHAR_INFO>& b)
{
    long n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i].Char.AsciiChar != b[i].Char.AsciiChar || a[i].Attributes != b[i].Attributes;
    return n;
}

void BM_LogPaneOneLine(benchmark::State& state)
{
    Screen screen;
    if (!screen.Ok()) {
        state.SkipWithError("no console");
        return;
    }
    // The counters come from a fixed run of 1,000 lines, the same in every
    // repetition; the timed loop only times.
    long long bytes = 0;
    long changed = 0;
    constexpr int kLines = 1000;
    for (int i = 0; i < kLines; ++i) {
        const std::vector<CHAR_INFO> before = screen.Cells();
        screen.Rewind();
        screen.LogLine();
        bytes += screen.Written();
        changed += Changed(before, screen.Cells());
    }
    for (auto _ : state) {
        screen.LogLine();
        if (screen.Written() > (1 << 24))
            screen.Rewind();
    }
    state.counters["bytes_per_update"] = static_cast<double>(bytes) / kLines;
    state.counters["changed_cells_per_update"] = static_cast<double>(changed) / kLines;
    state.counters["bytes_per_changed_cell"] = changed > 0 ? static_cast<double>(bytes) / changed : 0;
}
BENCHMARK(BM_LogPaneOneLine);

void BM_StatusClockUpdate(benchmark::State& state)
{
    Screen screen;
    if (!screen.Ok()) {
        state.SkipWithError("no console");
        return;
    }
    long long bytes = 0;
    constexpr int kSeconds = 1000;
    for (int i = 1; i <= kSeconds; ++i) {
        screen.Rewind();
        screen.Status(i);
        bytes += screen.Written();
    }
    long second = 0;
    for (auto _ : state) {
        screen.Status(++second);
        if (screen.Written() > (1 << 24))
            screen.Rewind();
    }
    state.counters["bytes_per_update"] = static_cast<double>(bytes) / kSeconds;
}
BENCHMARK(BM_StatusClockUpdate);

// The peer: the whole screen written again for each update.
void BM_FullRedrawPeer(benchmark::State& state)
{
    Screen screen;
    if (!screen.Ok()) {
        state.SkipWithError("no console");
        return;
    }
    long long bytes = 0;
    constexpr int kRedraws = 100;
    for (int i = 0; i < kRedraws; ++i) {
        screen.LogLine();
        screen.Rewind();
        screen.FullRedraw();
        bytes += screen.Written();
    }
    for (auto _ : state) {
        screen.LogLine();
        screen.FullRedraw();
        if (screen.Written() > (1 << 24))
            screen.Rewind();
    }
    state.counters["bytes_per_update"] = static_cast<double>(bytes) / kRedraws;
}
BENCHMARK(BM_FullRedrawPeer);

} // namespace

BENCHMARK_MAIN();
