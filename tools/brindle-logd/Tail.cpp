#include "Tail.h"

#include "Query.h"

#include "Brindle/base/LogData.h"
#include "Brindle/console/Console.h"
#include "Brindle/console/ConsoleWnd.h"
#include "Brindle/regexp/RegExp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

using namespace Brindle;

namespace logd {

namespace {

constexpr WORD Grey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr WORD StatusColours = Grey | FOREGROUND_INTENSITY | BACKGROUND_BLUE;
constexpr WORD Warning = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
constexpr WORD Error = FOREGROUND_RED | FOREGROUND_INTENSITY;
// Records shown when the view opens.
constexpr long long Backlog = 200;

std::string Clock(long long seconds)
{
    const time_t value = static_cast<time_t>(seconds);
    std::tm tm{};
    gmtime_r(&value, &tm);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// One pane line: time (UTC), severity letter, application@host, source, text.
std::string PaneLine(const Record& r)
{
    return Clock(r.time) + " " + SeverityString(static_cast<SEVERITY>(r.severity)) + " " + r.application + "@" +
           r.host + " " + r.source + ": " + r.text;
}

class CTailView {
public:
    CTailView(CConsoleWndMgr& mgr, COORD screen)
    {
        const short width = std::max<short>(screen.X, 30);
        const short height = std::max<short>(screen.Y, 8);
        m_status = mgr.CreateConsoleWnd(0, 0, width, 3, StatusColours);
        m_records = mgr.CreateConsoleWnd(0, 3, width, static_cast<short>(height - 3), Grey);
        m_status->DrawBorder(true);
        m_records->DrawBorder(true);
        m_status->Show();
        m_records->Show();
    }

    void Status(const Totals& totals, double perSecond, const std::string& note)
    {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.0f", perSecond);
        std::string text = " clients " + std::to_string(totals.clients) + "   records " +
                           std::to_string(totals.lastId) + "   per second " + rate + "   gaps " +
                           std::to_string(totals.gaps) + " (lost " + std::to_string(totals.lost) + ")   resets " +
                           std::to_string(totals.resets) + "   q quit";
        if (!note.empty())
            text += "   " + note;
        text.resize(static_cast<std::size_t>(std::max(0, m_status->Width() - 2)), ' ');
        m_status->Write(1, 1, text);
    }

    void Add(const Record& r)
    {
        const WORD colour = r.severity == SEVERITY_WARNING ? Warning : r.severity == SEVERITY_ERROR ? Error : Grey;
        // The window draws every byte as a glyph: nothing reaches the
        // terminal as a control.
        m_records->WriteLine(PaneLine(r), true, colour);
    }

private:
    CRefCountedPtr<CConsoleWnd> m_status;
    CRefCountedPtr<CConsoleWnd> m_records;
};

} // namespace

int RunTail(const std::string& connection, const Filter& filter, const std::string* pattern, long long intervalMs)
{
    std::unique_ptr<CRegExp> matcher;
    if (pattern != nullptr) {
        matcher = std::make_unique<CRegExp>(*pattern);
        if (!matcher->is_valid()) {
            std::fprintf(stderr, "brindle-logd: bad pattern: %s\n", pattern->c_str());
            return 2;
        }
    }
    CLogStore store;
    Totals totals;
    try {
        store.Open(connection);
        totals = store.GetTotals();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brindle-logd: cannot read the database: %s\n", e.what());
        return 1;
    }

    CConsole console;
    if (!console.Alloc()) {
        std::fputs("brindle-logd: no console\n", stderr);
        return 3;
    }
    console.SetTitle("brindle-logd tail");
    console.SetRawMode(true);
    const CRefCountedPtr<CScreenBuffer> screen = console.GetActiveScreenBuffer();
    screen->ShowCursor(false);
    CConsoleWndMgr mgr(Grey);
    mgr.SetScreenBuffer(screen);
    CTailView view(mgr, screen->GetSize());

    Filter next = filter;
    next.afterId = std::max<long long>(0, totals.lastId - Backlog);
    next.limit = 1000;
    using Clock = std::chrono::steady_clock;
    auto rateStart = Clock::now();
    long long rateFrom = totals.lastId;
    double perSecond = 0;
    bool quit = false;
    while (!quit) {
        std::string note;
        try {
            for (;;) {
                const auto page = store.Select(next);
                for (const Record& r : page) {
                    if (!matcher || matcher->is_reg_exp_present(r.text) != 0)
                        view.Add(r);
                }
                if (!page.empty())
                    next.afterId = page.back().id;
                if (page.size() < static_cast<std::size_t>(next.limit))
                    break;
            }
            totals = store.GetTotals();
        } catch (const std::exception&) {
            // The server holds the file for a moment: the next look will do.
            note = "database busy";
        }
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - rateStart).count();
        if (elapsed >= 1.0) {
            perSecond = static_cast<double>(totals.lastId - rateFrom) / elapsed;
            rateFrom = totals.lastId;
            rateStart = now;
        }
        view.Status(totals, perSecond, note);

        if (!console.WaitForInput(static_cast<DWORD>(intervalMs)))
            continue;
        INPUT_RECORD records[16];
        const DWORD n = console.ReadInput(records, 16);
        for (DWORD k = 0; k < n; ++k) {
            const INPUT_RECORD& r = records[k];
            if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown)
                continue;
            const char c = r.Event.KeyEvent.uChar.AsciiChar;
            if (c == 'q' || c == 'Q' || c == '\x03')
                quit = true;
        }
    }
    console.Free();
    return 0;
}

} // namespace logd
