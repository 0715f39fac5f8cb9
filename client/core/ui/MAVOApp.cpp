#include "core/ui/MAVOApp.h"

#include "Brindle/base/Identity.h"
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"
#include "core/SettingsStore.h"
#include "core/ui/DialogChrome.h"
#include "core/ui/Pictures.h"
#include "core/ui/StandardIconCache.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <stdexcept>

namespace mavo {

namespace {

// A start-up step that failed with a text of its own.
struct StartupError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace

CMAVOApp::CMAVOApp(ModuleInstaller installModules, StartupOptions options)
    : m_installModules(std::move(installModules)),
      m_options(std::move(options)),
      m_messages(m_options.messages != nullptr ? *m_options.messages : m_defaultMessages),
      m_controller(std::make_unique<CScreenController>(m_link))
{
    // The pictures are drawn beside the first steps of Start; then the same
    // thread loads the image plugins the menu bar would load.
    const bool splash = m_options.splash;
    std::promise<StartupPictures> drawn;
    m_drawnPictures = drawn.get_future();
    try {
        m_drawing = std::async(std::launch::async, [splash, drawn = std::move(drawn)]() mutable {
            try {
                drawn.set_value(DrawStartupPictures(splash));
            } catch (...) {
                drawn.set_exception(std::current_exception());
                return;
            }
            PrepareImageReading();
        });
    } catch (const std::system_error&) {
        m_drawnPictures = std::async(std::launch::deferred, [splash] { return DrawStartupPictures(splash); });
    }
    // The desktop finds the program by its entry (mavo.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("mavo"));
    qApp->installEventFilter(new CDialogChrome(this));
    CStandardIconCache::Install();
}

CMAVOApp::~CMAVOApp()
{
    // The window goes first (it stops listening to the feed), then the
    // controller stops its sources, then the instance lets go.
    m_frame.reset();
    m_splash.reset();
    m_controller.reset();
    m_instance.reset();
}

void CMAVOApp::TakePictures()
{
    if (m_picturesTaken)
        return;
    m_picturesTaken = true;
    m_pictures = m_drawnPictures.get();
    // Every window, page windows included, shows MAVO's icon.
    QApplication::setWindowIcon(ApplicationIcon(m_pictures.applicationIcon));
}

void CMAVOApp::Fail(const QString& text)
{
    TakePictures();
    m_messages.Show(nullptr, QString::fromLatin1(kStartErrorCaption), text, CMessageService::Icon::Error,
                    CMessageService::Buttons::Ok);
}

void CMAVOApp::OnActivation()
{
    ++m_activations;
    if (m_frame && m_frame->isVisible())
        m_frame->BringForward();
    else
        m_activationPending = true;  // the window comes forward once it exists
}

CMAVOApp::StartResult CMAVOApp::Start()
{
    // 1. Single instance.
    m_instance = std::make_unique<CSingleInstance>(m_options.instanceDirectory);
    if (!m_instance->TryLock()) {
        m_instance->ActivateRunning();
        return StartResult::AlreadyRunning;
    }
    // 2. The name later starts find this instance by.
    if (!m_instance->Listen()) {
        TakePictures();
        m_messages.Show(nullptr, QString::fromLatin1(kErrorCaption), QString::fromLatin1(kCannotRegisterClass),
                        CMessageService::Icon::Error, CMessageService::Buttons::Ok);
        return StartResult::Failed;
    }
    connect(m_instance.get(), &CSingleInstance::ActivationRequested, this, &CMAVOApp::OnActivation);

    try {
        // 3. Old settings move to the new root; a failed copy keeps them.
        MoveOldSettings(kOldSettingsParent, kOldSettingsName, kSettingsRoot);
        // 4. Identity.
        Brindle::SetLocalApplicationName(kAppName);
        Brindle::SetLocalVersion(kAppVersion);
        Brindle::SetLocalBuildDate(kAppBuildDate);
        // 5. Dialogs may hold any widget here: nothing to allow.
        // 6. Splash.
        m_splashEnabled = m_options.splash;
        // 7. Sockets.
        if (!Brindle::InitializeSockets(2, 2))
            throw StartupError(kCannotInitSockets);
        // 8. The modules of this build (the page document template among them).
        auto modules = m_installModules(*m_controller);
        // 9. The main window object and its initial settings.
        m_frame = std::make_unique<CMainFrame>(*m_controller, m_messages, std::move(modules), m_options.opener);
        if (!m_frame->LoadInitialSettings())
            throw StartupError(kCannotLoadInitialSettings);
        TakePictures();
        if (m_splashEnabled) {
            m_splash = std::make_unique<CSplashWindow>(QPixmap::fromImage(m_pictures.splash));
            m_pictures.splash = QImage();  // the window keeps its own copy
            connect(m_splash.get(), &CSplashWindow::Finished, this, [this] {
                if (m_frame)
                    m_frame->update();
            });
            m_splash->ShowOnce();
        }
        if (m_options.pauseMs > 0) {
            // The pause lets the splash paint; nothing else is running yet.
            QEventLoop pause;
            QTimer::singleShot(m_options.pauseMs, &pause, &QEventLoop::quit);
            pause.exec(QEventLoop::ExcludeSocketNotifiers);
        }
        // 10. The window.
        m_frame->Create();
        connect(m_frame.get(), &CMainFrame::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        m_frame->show();
        // 11. The command line opens nothing: no empty page at start.
        // 12. The rest of the settings and the saved pages.
        if (!m_frame->LoadSettings())
            throw StartupError(kCannotLoadSettings);
    } catch (const StartupError& e) {
        Fail(QString::fromStdString(StartErrorText(e.what())));
        m_frame.reset();
        return StartResult::Failed;
    } catch (...) {
        Fail(QString::fromLatin1(kStartUnknownError));
        m_frame.reset();
        return StartResult::Failed;
    }
    if (m_activationPending) {
        m_activationPending = false;
        m_frame->BringForward();
    }
    return StartResult::Started;
}

} // namespace mavo
