// Window operations chosen by the input on overlapping windows of a 40 x 12
// screen buffer. After every operation the screen must show the topmost
// visible window over each cell and the first background elsewhere, and no
// operation may hang, whatever the sizes, borders, texts and order.
#include "Brindle/console/ConsoleWnd.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Brindle;

namespace {

constexpr SHORT kWidth = 40;
constexpr SHORT kHeight = 12;

char Background(int x, int y)
{
    return static_cast<char>('A' + (x + 7 * y) % 26);
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_at < m_size; }
    int Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string Text()
    {
        std::string text;
        for (int n = Byte() % 48; n > 0 && More(); --n)
            text += static_cast<char>(Byte());
        return text;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

void CheckComposed(const CScreenBuffer& screen, const CConsoleWndMgr& mgr)
{
    std::vector<CHAR_INFO> cells(static_cast<size_t>(kWidth) * kHeight);
    SMALL_RECT all{0, 0, kWidth - 1, kHeight - 1};
    if (!screen.ReadCells(cells.data(), {kWidth, kHeight}, {0, 0}, all))
        std::abort();
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            char want = Background(x, y);
            WORD attr = 0x07;
            for (size_t i = mgr.GetWndCount(); i-- > 0;) {
                const CRefCountedPtr<CConsoleWnd> w = mgr.GetWnd(i);
                const SMALL_RECT r = w->GetRect();
                if (w->IsVisible() && x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom) {
                    const CHAR_INFO c = w->GetCell(static_cast<short>(x - r.Left), static_cast<short>(y - r.Top));
                    want = c.Char.AsciiChar;
                    attr = c.Attributes;
                    break;
                }
            }
            const CHAR_INFO& got = cells[static_cast<size_t>(y) * kWidth + x];
            if (got.Char.AsciiChar != want || got.Attributes != attr)
                std::abort();
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool console = [] {
        AttachConsoleTerminal(-1, -1);
        return AllocConsole() != FALSE;
    }();
    if (!console)
        std::abort();
    CRefCountedPtr<CScreenBuffer> screen(new CScreenBuffer());
    screen->SetSize({kWidth, kHeight});
    for (SHORT y = 0; y < kHeight; ++y) {
        std::string row;
        for (SHORT x = 0; x < kWidth; ++x)
            row += Background(x, y);
        screen->WriteCharacters({0, y}, row);
    }
    screen->FillAttributes({0, 0}, 0x07, static_cast<DWORD>(kWidth) * kHeight);

    CConsoleWndMgr mgr;
    mgr.SetScreenBuffer(screen);
    std::vector<CRefCountedPtr<CConsoleWnd>> windows;
    Input in(data, size);
    while (in.More()) {
        const int op = in.Byte() % 12;
        if (op == 0 || windows.empty()) {
            if (windows.size() < 6) {
                const auto w = mgr.CreateConsoleWnd(static_cast<short>(in.Byte() % 50 - 5),
                                                    static_cast<short>(in.Byte() % 16 - 2),
                                                    static_cast<short>(in.Byte() % 45 - 2),
                                                    static_cast<short>(in.Byte() % 16 - 2),
                                                    static_cast<unsigned short>(in.Byte()));
                if (w)
                    windows.push_back(w);
            }
            if (windows.empty())
                continue;
        }
        CConsoleWnd& w = *windows[static_cast<size_t>(in.Byte()) % windows.size()];
        switch (op) {
        case 1: w.Show(); break;
        case 2: w.Hide(); break;
        case 3: mgr.SetTopmostWnd(&w); break;
        case 4: {
            const short x = static_cast<short>(in.Byte() % 50 - 2);
            const short y = static_cast<short>(in.Byte() % 20 - 2);
            w.Write(x, y, in.Text(), static_cast<unsigned short>(in.Byte()));
            break;
        }
        case 5: {
            const bool wrap = in.Byte() & 1;
            w.WriteLine(in.Text(), wrap, static_cast<unsigned short>(in.Byte()));
            break;
        }
        case 6: w.Scroll(); break;
        case 7: w.Clear(static_cast<char>(in.Byte()), static_cast<unsigned short>(in.Byte())); break;
        case 8: w.DrawBorder(in.Byte() & 1, static_cast<unsigned short>(in.Byte())); break;
        case 9:
            w.Destroy();
            std::erase_if(windows, [](const auto& p) { return p->GetManager() == nullptr; });
            break;
        case 10: mgr.Draw(); break;
        default: w.SetCursorPosition(static_cast<short>(in.Byte() % 50 - 5), static_cast<short>(in.Byte() % 20 - 5)); break;
        }
        CheckComposed(*screen, mgr);
    }
    mgr.SetScreenBuffer(nullptr);
    return 0;
}
