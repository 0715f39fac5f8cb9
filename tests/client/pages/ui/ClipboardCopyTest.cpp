// Copy and the "Cut-and-Paste Format" submenu in the running application
// against a real zphd: the submenu's check mark and status texts, "Copy
// Style" saved, the page on the clipboard in the chosen format, and a copy
// that cannot be made leaving the user's clipboard alone.
#include "LiveApp.h"

#include "pages/ClipboardText.h"

#include <QClipboard>
#include <QMenu>
#include <QMenuBar>

using namespace testsupport;
using mavo::CommandId;

namespace {

class ClipboardCopyTest : public LiveAppFixture {
protected:
    QMenu* FormatSubmenu()
    {
        for (QAction* top : Frame().menuBar()->actions()) {
            if (top->text() != QStringLiteral("&View") || top->menu() == nullptr)
                continue;
            for (QAction* item : top->menu()->actions())
                if (item->menu() != nullptr && item->text() == QStringLiteral("Cut-and-Paste Format"))
                    return item->menu();
        }
        return nullptr;
    }

    static QString Clipboard() { return QGuiApplication::clipboard()->text(); }
};

const CommandId kStyles[] = {CommandId::CopySingleColumn, CommandId::CopyTwoColumn,      CommandId::CopyDelimited,
                             CommandId::CopyIndicative,   CommandId::CopyExcelDataLinks, CommandId::CopyExcelTextLinks};

} // namespace

TEST_F(ClipboardCopyTest, SubmenuKeepsTheChosenStyleAndCopyPutsTheActivePageOnTheClipboardInIt)
{
    ASSERT_EQ(zphd.Control("rate 0").rfind("OK", 0), 0u);  // the page stays as copied
    Section("MainFrame").SetInt("Copy Style", 3);
    PointFeedAtServer();
    StartLive();
    // The submenu checks the stored style and saves the chosen one.
    QMenu* submenu = FormatSubmenu();
    ASSERT_NE(submenu, nullptr);
    const QList<QAction*> items = submenu->actions();
    ASSERT_EQ(items.size(), 6);
    Frame().UpdateCommands();
    for (int i = 0; i < 6; ++i) {
        const auto& style = mavo::CopyStyles()[static_cast<std::size_t>(i)];
        EXPECT_EQ(items[i]->text().toStdString(), style.menuText);
        EXPECT_EQ(items[i]->statusTip().toStdString(), style.statusText);
        EXPECT_EQ(items[i]->isChecked(), i == 3) << i;
    }
    ASSERT_TRUE(Frame().RunCommand(CommandId::CopyExcelTextLinks));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(items[i]->isChecked(), i == 5) << i;
    ASSERT_TRUE(Frame().SaveAllSettings());
    EXPECT_EQ(StoredInt("MainFrame", "Copy Style"), 5);

    // No page window: Copy is disabled and the clipboard stays as it was.
    QGuiApplication::clipboard()->setText(QStringLiteral("the user's own text"));
    Frame().UpdateCommands();
    EXPECT_FALSE(Frame().Commands().Action(CommandId::EditCopy)->isEnabled());
    EXPECT_FALSE(Frame().RunCommand(CommandId::EditCopy));
    EXPECT_EQ(Clipboard().toStdString(), "the user's own text");

    mavo::CChildFrame* page = OpenPageByNew(1);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(Frame().MdiArea()->activeSubWindow(), page);
    const mavo::CMAVODoc& doc = page->View()->Document();
    ASSERT_EQ(doc.GetLineCount(), 26);
    LineCache& cache = Frame().Controller().GetLineCache();
    ASSERT_TRUE(WaitFor([&] { return cache.GetForRead(doc.GetLineKey(0)) != nullptr; }, 30000));
    Spin(500);  // the rest of the page

    // The formula formats: one row per line of the page.
    ASSERT_TRUE(Frame().RunCommand(CommandId::CopyExcelTextLinks));
    Frame().UpdateCommands();
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditCopy));
    std::string expected;
    for (int line = 1; line <= 26; ++line)
        expected += "=MAVO|P1L" + std::to_string(line) + "!'TEXT'\r\n";
    EXPECT_EQ(Clipboard().toStdString(), expected);

    // Single column text: the first line's text as the feed has it.
    ASSERT_TRUE(Frame().RunCommand(CommandId::CopySingleColumn));
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditCopy));
    const std::string text = Clipboard().toStdString();
    LineRef first = cache.GetForRead(doc.GetLineKey(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              mavo::ClipboardLineText(*first, mavo::COPY_SINGLE_COLUMN, Frame().Controller().IsFullView()));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 26);

    // Two columns: 13 rows.
    ASSERT_TRUE(Frame().RunCommand(CommandId::CopyTwoColumn));
    ASSERT_TRUE(Frame().RunCommand(CommandId::EditCopy));
    const std::string two = Clipboard().toStdString();
    EXPECT_EQ(std::count(two.begin(), two.end(), '\n'), 13);
}
