// What a user does in the running MAVO, for the widget tests against a real
// zphd: start it live, hold the market still, open a page through "&New",
// answer the next dialog, move and click over a page, keep a picture.
#pragma once

#include "AppFixture.h"

#include "core/ui/MainFrame.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/NewPageDialog.h"
#include "pages/ui/PageList.h"
#include "zph/ZPHKey.h"

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMouseEvent>
#include <QTimer>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace ZPH;

namespace testsupport {

// Answers the next modal dialog of type D once it is up.
template <typename D>
void AnswerNextDialog(std::function<void(D*)> answer)
{
    QTimer::singleShot(0, [answer] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget()))
            answer(dialog);
    });
}

// Saves the widget's picture under the build tree for people to look at.
inline bool SaveShot(QWidget* widget, const QString& name)
{
    const QString dir = QStringLiteral(BRINDLE_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    return widget->grab().save(dir + QLatin1Char('/') + name);
}

// A mouse event at the point; the button is held for presses and moves.
inline void MouseAt(QWidget* widget, QPoint at, QEvent::Type type, Qt::MouseButton button = Qt::LeftButton)
{
    const bool held = type != QEvent::MouseButtonRelease && button != Qt::NoButton;
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button,
                      held ? Qt::MouseButtons(button) : Qt::MouseButtons(Qt::NoButton), Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void MoveOver(QWidget* widget, QPoint at)
{
    MouseAt(widget, at, QEvent::MouseMove, Qt::NoButton);
}

inline void LeaveWidget(QWidget* widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

class LiveAppFixture : public AppFixture {
protected:
    explicit LiveAppFixture(std::vector<std::string> zphdArgs = {}) : AppFixture(std::move(zphdArgs)) {}

    // A still market: only what the test does changes the lines.
    void HoldMarket()
    {
        ASSERT_EQ(zphd.Control("rate 0").rfind("OK", 0), 0u);
        ASSERT_EQ(zphd.Control("trade-every 0").rfind("OK", 0), 0u);
    }

    // MAVO started and its feed live.
    void StartLive()
    {
        ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
        ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    }

    // zphd gives the guest user this level; MAVO's commands follow it.
    void SetUserLevel(int level)
    {
        ASSERT_EQ(zphd.Control("level guest " + std::to_string(level)).rfind("OK", 0), 0u);
        ASSERT_TRUE(WaitFor([&] { return Frame().Controller().GetUserLevel() == level; }, 30000));
        Frame().UpdateCommands();
    }

    // "&New" with its dialog answered: the window of the page, else null.
    mavo::CChildFrame* OpenPageByNew(int page)
    {
        AnswerNextDialog<mavo::CNewPageDialog>([page](mavo::CNewPageDialog* dialog) {
            dialog->SetPage(page);
            dialog->accept();
        });
        EXPECT_TRUE(Frame().RunCommand(mavo::CommandId::New));
        for (mavo::CChildFrame* frame : PageWindows())
            if (frame->View()->Document().GetPage() == page)
                return frame;
        return nullptr;
    }

    std::vector<mavo::CChildFrame*> PageWindows()
    {
        std::vector<mavo::CChildFrame*> frames;
        for (QMdiSubWindow* window : Frame().MdiArea()->subWindowList())
            if (auto* frame = qobject_cast<mavo::CChildFrame*>(window))
                frames.push_back(frame);
        return frames;
    }

    bool HasLine(int page, int line)
    {
        return Frame().Controller().GetLineCache().GetForRead(CreateZPHKey(page, line)) != nullptr;
    }

    bool Enabled(mavo::CommandId id)
    {
        Frame().UpdateCommands();
        return Frame().Commands().Action(id)->isEnabled();
    }
};

} // namespace testsupport
