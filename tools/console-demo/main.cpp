// console-demo: overlapping text windows in a terminal.
//
//   console-demo [--interval MS] [--lines N]
//
// A status pane at the top shows the clock (UTC) and the count of log
// lines; a log pane below it takes a line on every tick and scrolls; a help
// window can be laid over the log pane while it goes on scrolling beneath.
// Keys: q quits (Ctrl+C too), h shows or hides the help window, n writes a
// line at once, c writes a line of every control byte (drawn as glyphs).
// Exit status: 0 done; 2 bad command line; 3 no console.
#include "Brindle/console/Console.h"
#include "Brindle/console/ConsoleWnd.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

using namespace Brindle;

namespace {

const char* const kUsage =
    "usage: console-demo [--interval MS] [--lines N]\n"
    "Shows a status pane with a clock and a scrolling log pane in the terminal.\n"
    "options:\n"
    "  --interval MS  a log line every MS milliseconds (1 to 60000, default 500)\n"
    "  --lines N      stop logging by itself after N lines (default: never)\n"
    "  --help         this text\n"
    "keys: q quit, h show or hide the help window, n one log line now,\n"
    "      c a log line of every control byte (shown as code page 437 glyphs)\n"
    "exit status: 0 done, 2 bad command line, 3 no console\n";

constexpr WORD kGrey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr WORD kStatus = kGrey | FOREGROUND_INTENSITY | BACKGROUND_BLUE;
constexpr WORD kLog = kGrey;
constexpr WORD kHelp = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY | BACKGROUND_BLUE | BACKGROUND_GREEN;

bool ParseNumber(std::string_view text, long low, long high, long& value)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

std::string ClockText()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

class CDemo {
public:
    CDemo(CConsoleWndMgr& mgr, COORD screen)
    {
        const short width = std::max<short>(screen.X, 24);
        const short height = std::max<short>(screen.Y, 8);
        m_status = mgr.CreateConsoleWnd(0, 0, width, 3, kStatus);
        m_log = mgr.CreateConsoleWnd(0, 3, width, static_cast<short>(height - 3), kLog);
        const short helpWidth = 30;
        const short helpHeight = 7;
        m_help = mgr.CreateConsoleWnd(static_cast<short>(std::max(0, (width - helpWidth) / 2)),
                                      static_cast<short>(3 + std::max(0, (height - 3 - helpHeight) / 2)), helpWidth,
                                      helpHeight, kHelp);
        m_status->DrawBorder(true);
        m_log->DrawBorder(true);
        m_help->DrawBorder(true);
        m_help->Write(2, 1, "Keys");
        m_help->Write(2, 2, "q  quit");
        m_help->Write(2, 3, "h  this window");
        m_help->Write(2, 4, "n  one log line now");
        m_help->Write(2, 5, "c  control bytes as glyphs");
        m_status->Show();
        m_log->Show();
        UpdateStatus();
    }

    void UpdateStatus()
    {
        const std::string clock = ClockText();
        std::string text = " " + clock + " UTC   lines " + std::to_string(m_lines) + "   q quit  h help  n line";
        text.resize(static_cast<std::size_t>(std::max(0, m_status->Width() - 2)), ' ');
        m_status->Write(1, 1, text);
        m_clock = clock;
    }
    void UpdateClock()
    {
        if (ClockText() != m_clock)
            UpdateStatus();
    }

    void LogLine()
    {
        ++m_lines;
        char text[64];
        std::snprintf(text, sizeof text, "line %04ld  %s", m_lines, ClockText().c_str());
        m_log->WriteLine(text, true);
        UpdateStatus();
    }
    // Bytes 1 to 31 and 127 as text: the pane shows their glyphs, the
    // terminal never sees them as controls.
    void LogControls()
    {
        ++m_lines;
        std::string text = "controls ";
        for (char c = 1; c < 32; ++c)
            text += c;
        text += '\x7f';
        m_log->WriteLine(text, true);
        UpdateStatus();
    }
    long Lines() const { return m_lines; }

    void ToggleHelp()
    {
        if (m_help->IsVisible())
            m_help->Hide();
        else
            m_help->Show();
    }

private:
    CRefCountedPtr<CConsoleWnd> m_status;
    CRefCountedPtr<CConsoleWnd> m_log;
    CRefCountedPtr<CConsoleWnd> m_help;
    long m_lines = 0;
    std::string m_clock;
};

} // namespace

int main(int argc, char** argv)
{
    long interval = 500;
    long limit = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((arg == "--interval" || arg == "--lines") && i + 1 < argc) {
            long& target = arg == "--interval" ? interval : limit;
            if (!ParseNumber(argv[++i], arg == "--interval" ? 1 : 0, arg == "--interval" ? 60000 : 1000000000, target)) {
                std::fprintf(stderr, "console-demo: bad value for %s: %s\n%s", argv[i - 1], argv[i], kUsage);
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "console-demo: unknown argument: %s\n%s", argv[i], kUsage);
        return 2;
    }

    CConsole console;
    if (!console.Alloc()) {
        std::fputs("console-demo: no console\n", stderr);
        return 3;
    }
    console.SetTitle("console-demo");
    console.SetRawMode(true);
    const CRefCountedPtr<CScreenBuffer> screen = console.GetActiveScreenBuffer();
    screen->ShowCursor(false);
    CConsoleWndMgr mgr(kGrey);
    mgr.SetScreenBuffer(screen);
    CDemo demo(mgr, screen->GetSize());

    using Clock = std::chrono::steady_clock;
    const auto tick = std::chrono::milliseconds(interval);
    auto next = Clock::now() + tick;
    bool quit = false;
    while (!quit) {
        const auto now = Clock::now();
        if (now >= next) {
            if (limit < 0 || demo.Lines() < limit)
                demo.LogLine();
            next += tick;
            if (next < now)
                next = now + tick; // fell behind: no burst of lines to catch up
        }
        demo.UpdateClock();
        // Wake for the next tick, and often enough for the clock.
        const auto wait = std::min<Clock::duration>(next - Clock::now(), std::chrono::milliseconds(250));
        const auto ms = std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(wait).count());
        if (!console.WaitForInput(static_cast<DWORD>(ms)))
            continue;
        INPUT_RECORD records[16];
        const DWORD n = console.ReadInput(records, 16);
        for (DWORD k = 0; k < n; ++k) {
            const INPUT_RECORD& r = records[k];
            if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown)
                continue;
            switch (r.Event.KeyEvent.uChar.AsciiChar) {
            case 'q':
            case 'Q':
            case '\x03':
                quit = true;
                break;
            case 'h':
            case 'H':
                demo.ToggleHelp();
                break;
            case 'n':
            case 'N':
                demo.LogLine();
                break;
            case 'c':
            case 'C':
                demo.LogControls();
                break;
            default:
                break;
            }
        }
    }
    console.Free();
    return 0;
}
