// Start-up: a single instance, the old settings moved, the splash, the
// feed's messages and the hidden tool windows held until the first frame,
// the start-up failures and the
// About box (where Enter presses OK).
#include "AppFixture.h"

#include "core/FrameTexts.h"
#include "core/ui/AboutDialog.h"
#include "status/ui/SourceStatusWindow.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <map>

using namespace testsupport;

namespace {

class StartupTest : public AppFixture {};

// Every file below a directory with its size and modification time.
std::map<std::string, std::pair<qint64, qint64>> Snapshot(const std::string& dir)
{
    std::map<std::string, std::pair<qint64, qint64>> files;
    QDirIterator it(QString::fromStdString(dir), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files[info.filePath().toStdString()] = {info.size(), info.lastModified().toMSecsSinceEpoch()};
    }
    return files;
}

} // namespace

TEST_F(StartupTest, SecondStartBringsTheFirstForwardAndWritesNothing)
{
    PointFeedAtServer();
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(1, "Feed Live"));
    Frame().showMinimized();
    Spin(200);
    ASSERT_TRUE(Frame().isMinimized());
    Spin(1200);  // file times have a coarse grain on some file systems

    const auto registryBefore = Snapshot(registry.dir().str());
    const auto runtimeBefore = Snapshot(runtime.dir().str());
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(MAVO_PATH), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    // The first instance answers while the second waits: keep handling events.
    ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(app->ActivationCount(), 1);
    EXPECT_TRUE(WaitFor([&] { return !Frame().isMinimized(); }, 5000));

    EXPECT_EQ(Snapshot(registry.dir().str()), registryBefore);
    EXPECT_EQ(Snapshot(runtime.dir().str()), runtimeBefore);
}

TEST_F(StartupTest, OldSettingsTreeIsMovedBeforeTheSettingsAreRead)
{
    PointFeedAtServer();
    Brindle::CRegSection old(HKEY_CURRENT_USER, "Software/Corvane/MAVO/MainFrame");
    old.SetInt("Anchored", 1);
    old.SetInt("Left", 120);
    old.Close();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(Frame().Settings().anchored, 1);
    EXPECT_EQ(Frame().NormalRect().x(), 120);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\MAVO", 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(StartupTest, SplashGoesByItselfOrAtTheFirstKeyPressAndTheLockIsFreeAfterTheEnd)
{
    PointFeedAtServer();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(app->Splash()->IsShowing());
    EXPECT_TRUE(WaitFor([&] { return !app->Splash()->IsShowing(); }, 10000));
    app.reset();

    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_NE(app->Splash(), nullptr);
    ASSERT_TRUE(app->Splash()->IsShowing());
    QTest::keyClick(&Frame(), Qt::Key_Shift);
    EXPECT_FALSE(app->Splash()->IsShowing());
    // Shown once per run.
    EXPECT_FALSE(app->Splash()->ShowOnce());
}

TEST_F(StartupTest, FeedMessagesWaitForTheWindowsFirstFrameAndKeepTheirOrder)
{
    // Each notification shows a box, so the boxes tell when and in which
    // order the window handled them.
    Section("MainFrame").SetInt("ContribPopup", 1);
    struct NoPaint : QObject {
        bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Paint; }
    };
    const auto notify = [&](const char* text) {
        ASSERT_TRUE(app->Controller().Link().Post({mavo::MSG_NOTIFICATION, 0, 0, std::string(text)}));
    };
    const auto boxes = [&] {
        std::vector<std::string> texts;
        for (const auto& box : messages.WithCaption(mavo::kNotificationCaption))
            texts.push_back(box.text);
        return texts;
    };
    for (const bool paints : {true, false}) {
        SCOPED_TRACE(paints ? "the window paints" : "the desktop never lets the window paint");
        messages.shown.clear();
        ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
        NoPaint noPaint;
        if (!paints)
            Frame().installEventFilter(&noPaint);
        ASSERT_TRUE(Frame().isVisible());
        for (const char* text : {"first", "second", "third"})
            notify(text);
        QCoreApplication::sendPostedEvents(&Frame());
        EXPECT_TRUE(boxes().empty()) << "handled before the window painted";
        // A hidden tool window is made after the first frame too.
        EXPECT_EQ(Frame().findChild<mavo::CSourceStatusWindow*>(), nullptr);
        ASSERT_TRUE(WaitFor([&] { return boxes().size() == 3; }, 5000));
        EXPECT_NE(Frame().findChild<mavo::CSourceStatusWindow*>(), nullptr);
        EXPECT_EQ(boxes(), (std::vector<std::string>{"first", "second", "third"}));
        // From then on each is handled as it comes.
        notify("fourth");
        QCoreApplication::sendPostedEvents(&Frame());
        EXPECT_EQ(boxes().size(), 4u);
        app.reset();
    }
}

TEST_F(StartupTest, SettingsThatCannotBeReadEndTheStartWithItsMessage)
{
    // A settings store that cannot be made: its directory is a file.
    const std::string blocked = registry.dir().str() + "/blocked";
    std::ofstream(blocked) << "not a directory";
    ::setenv("BRINDLE_REGISTRY_DIR", (blocked + "/store").c_str(), 1);
    EXPECT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Failed);
    EXPECT_EQ(app->Frame(), nullptr);
    auto shown = messages.WithCaption("Error!");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Error starting MAVO\nMainframe cannot load initial settings");
    EXPECT_EQ(shown[0].icon, mavo::CMessageService::Icon::Error);
}

TEST_F(StartupTest, InstanceSocketThatCannotBeMadeEndsTheStart)
{
    PointFeedAtServer();
    mavo::StartupOptions options;
    options.messages = &messages;
    options.pauseMs = 0;
    // Longer than a local socket's path may be, yet a fine place for the lock.
    const std::string deep = runtime.dir().str() + "/" + std::string(120, 'd');
    std::filesystem::create_directories(deep);
    options.instanceDirectory = QString::fromStdString(deep);
    app = std::make_unique<mavo::CMAVOApp>(mavo::InstallFrameModules, options);
    EXPECT_EQ(app->Start(), mavo::CMAVOApp::StartResult::Failed);
    auto shown = messages.WithCaption("Error");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Cannot register class!");
    EXPECT_EQ(app->Frame(), nullptr);
}

TEST_F(StartupTest, AboutBoxShowsItsTextsAndReportsALinkThatWillNotOpen)
{
    PointFeedAtServer();
    Section("Submit").SetStr("Helpdesk Phone", "0800 555 0100");
    Section("Submit").SetStr("URL Upgrade", "https://upgrade.example.org/mavo");
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::About));
    mavo::CAboutDialog* about = Frame().AboutDialog();
    ASSERT_NE(about, nullptr);
    // Enter presses OK rather than following the mail link.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    about->activateWindow();
    QApplication::setActiveWindow(about);
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() != nullptr; }, 10000));
    ASSERT_NE(qobject_cast<QPushButton*>(QApplication::focusWidget()), nullptr)
        << "the first focus is on " << QApplication::focusWidget()->metaObject()->className();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(openedLinks.empty());
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->result(), QDialog::Accepted);

    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::About));
    EXPECT_EQ(about->VersionLabel()->text().toStdString(), "MAVO Version 1.41");
    EXPECT_EQ(about->BuildDateLabel()->text().toStdString(), "Build Date: May  2 2007");
    EXPECT_EQ(about->StartedLabel()->text().left(9).toStdString(), "Started: ");
    EXPECT_EQ(about->ContactLabel()->text().toStdString(), "Contact Pelmor support at 0800 555 0100");
    EXPECT_EQ(about->UpgradeLink()->Target().toStdString(), "https://upgrade.example.org/mavo?a=MAVO&v=1.41");
    EXPECT_EQ(about->EmailLink()->Target().toStdString(), std::string("mailto:") + mavo::kDefaultHelpdeskEmail);

    // A click opens the target; one that cannot be opened says why.
    QTest::mouseClick(about->UpgradeLink(), Qt::LeftButton);
    ASSERT_EQ(openedLinks.size(), 1u);
    EXPECT_EQ(openedLinks[0], "https://upgrade.example.org/mavo?a=MAVO&v=1.41");
    EXPECT_TRUE(messages.shown.empty());
    linkResult = mavo::kShellNoAssociation;
    QTest::mouseClick(about->EulaLink(), Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(messages.shown[0].icon, mavo::CMessageService::Icon::Warning);
}
