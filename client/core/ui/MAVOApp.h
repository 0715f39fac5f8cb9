// CMAVOApp: the application object. It owns, for the whole run, the one
// feed controller (made with the object, before any window), the instance
// lock, the modules and the main window, and runs the start-up in its
// order:
//   1 single instance (a later start brings the running one forward and
//     ends), 2 the instance socket ("Cannot register class!"), 3 the old
//     settings tree moved over, 4 the identity given to Brindle, 5 (nothing
//     to allow on this platform), 6 the splash enabled, 7 sockets ("Cannot
//     initialize sockets!"), 8 the modules (the page document template),
//     9 the main window object and its initial settings ("Mainframe cannot
//     load initial settings"), the splash, the pause, 10 the window,
//     11 the command line (no empty page opens), 12 the rest of the
//     settings and the saved pages ("Mainframe cannot load settings").
// A raised text ends the start with "Error starting MAVO\n%s" under
// "Error!"; anything else with "Unknown error starting MAVO".
//
// Thread-safety: the window thread only (the controller's call-backs reach
// the main window through its CFrameLink).
#pragma once

#include "core/FrameLink.h"
#include "core/ScreenController.h"
#include "core/ui/LinkOpener.h"
#include "core/ui/MainFrame.h"
#include "core/ui/MessageService.h"
#include "core/ui/Pictures.h"
#include "core/ui/SingleInstance.h"
#include "core/ui/SplashWindow.h"

#include <QObject>

#include <functional>
#include <future>
#include <memory>
#include <vector>

namespace mavo {

// Makes the modules of a build for its controller, in the main window's
// creation order (the program passes InstallFrameModules, Modules.h).
using ModuleInstaller = std::function<std::vector<std::unique_ptr<CFrameModule>>(CScreenController&)>;

struct StartupOptions {
    // The fixed pause of step 9. Only the start-up benchmark changes it.
    int pauseMs = 1500;
    bool splash = true;
    // Message boxes; null: the real ones.
    CMessageService* messages = nullptr;
    // How the About box opens links; empty: the desktop's handler.
    LinkOpener opener;
    // Where the instance lock and socket live; empty: the runtime directory.
    QString instanceDirectory;
};

class CMAVOApp : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Started, AlreadyRunning, Failed };

    explicit CMAVOApp(ModuleInstaller installModules, StartupOptions options = {});
    ~CMAVOApp() override;

    StartResult Start();

    CScreenController& Controller() { return *m_controller; }
    CMainFrame* Frame() const { return m_frame.get(); }
    CSingleInstance& Instance() { return *m_instance; }
    CSplashWindow* Splash() const { return m_splash.get(); }
    // Activation requests received from later starts.
    int ActivationCount() const { return m_activations; }

private:
    void Fail(const QString& text);
    // Waits for the start-up pictures (once) and gives the application
    // its icon: before any window of MAVO shows.
    void TakePictures();
    void OnActivation();

    ModuleInstaller m_installModules;
    StartupOptions m_options;
    CMessageService m_defaultMessages;
    CMessageService& m_messages;
    CFrameLink m_link;
    std::unique_ptr<CScreenController> m_controller;
    std::unique_ptr<CSingleInstance> m_instance;
    std::future<StartupPictures> m_drawnPictures;
    std::future<void> m_drawing;  // the drawing thread, joined at the end
    StartupPictures m_pictures;
    bool m_picturesTaken = false;
    std::unique_ptr<CSplashWindow> m_splash;
    std::unique_ptr<CMainFrame> m_frame;
    bool m_splashEnabled = false;
    bool m_activationPending = false;
    int m_activations = 0;
};

} // namespace mavo
