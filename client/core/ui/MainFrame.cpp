#include "core/ui/MainFrame.h"

#include "Brindle/base/Identity.h"
#include "Brindle/base/RegSection.h"
#include "core/AboutInfo.h"
#include "core/AppIdentity.h"
#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/SettingsStore.h"
#include "core/ui/AboutDialog.h"
#include "core/ui/FrameEvent.h"
#include "core/ui/Pictures.h"
#include "core/ui/WaitingDialog.h"
#include "Platform/Registry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimerEvent>
#include <QToolBar>

#include <utility>

namespace mavo {

namespace {

constexpr int kFirstFrameWaitMs = 250;

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const char* text) { return QString::fromUtf8(text); }

// Runs body in one pass over the settings store: locked and checked once,
// not once for each value. Written, because a first start makes the
// sections it reads; committed either way, as the calls one by one would
// have been.
template <typename Body>
bool InOneStorePass(Body&& body)
{
    RegTransaction pass(HKEY_CURRENT_USER, RegTransaction::Mode::Write);
    const bool done = body();
    if (pass.Status() == ERROR_SUCCESS)
        pass.Commit();
    return done;
}

Brindle::CRegSection Section(const char* name)
{
    return Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kSettingsRoot) + "/" + name).c_str());
}

} // namespace

CMainFrame::CMainFrame(CScreenController& controller, CMessageService& messages,
                       std::vector<std::unique_ptr<CFrameModule>> modules, LinkOpener opener)
    : m_controller(controller),
      m_messages(messages),
      m_opener(std::move(opener)),
      m_modules(std::move(modules)),
      m_connection(controller, controller.Link(), kSettingsRoot, MachineString())
{
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(Q(kAppName));
    // The application's icon when it has one (drawn once at start-up).
    setWindowIcon(QApplication::windowIcon().isNull() ? ApplicationIcon() : QApplication::windowIcon());
    m_commands = new CCommandSet(this);
    // Call-backs from now on arrive here as events, each with its own data.
    controller.Link().SetPoster([this](FrameMessage&& message) {
        auto* event = new CFrameEvent(std::move(message));
        m_handover.fetch_add(1, std::memory_order_release);
        QCoreApplication::postEvent(this, event);
    });
}

CMainFrame::~CMainFrame()
{
    StopFeedListening();
    m_controller.Link().SetPoster(nullptr);
    // Modules' windows may refer to the frame: they go while it is whole.
    m_modules.clear();
}

void CMainFrame::StopFeedListening()
{
    m_flashTimer.stop();
    if (m_listening) {
        m_controller.Unregister(&m_controller.Link());
        m_listening = false;
    }
}

int CMainFrame::Ask(const QString& caption, const QString& text, CMessageService::Icon icon,
                    CMessageService::Buttons buttons)
{
    return m_messages.Show(this, caption, text, icon, buttons);
}

// ------------------------------------------------------------- start-up

bool CMainFrame::LoadInitialSettings()
{
    return InOneStorePass([this] { return LoadInitialValues(); });
}

bool CMainFrame::LoadInitialValues()
{
    Brindle::CRegSection mainFrame = Section(kMainFrameSection);
    if (!mainFrame.IsOpen())
        return false;
    for (auto& module : m_modules)
        if (!module->LoadInitialSettings(mainFrame))
            return false;
    m_connection.LoadFailover();
    Brindle::CRegSection controller = Section(kControllerSection);
    const char* machine = MachineString().c_str();
    if (!controller.IsOpen() || !m_controller.LoadSettings(controller, machine) ||
        !m_controller.LoadFeedSettings(controller, machine))
        return false;
    return true;
}

void CMainFrame::Create()
{
    InOneStorePass([this] {
        m_settings.Load(Section(kMainFrameSection));
        return true;
    });

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("PageArea"));
    m_mdi->setBackground(QColor(0x80, 0x80, 0x80));
    // Page windows may stand beyond the area's edges: it scrolls to them.
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);

    InstallOwnCommands();
    for (auto& module : m_modules)
        module->InstallCommands(*this);
    m_commands->BuildMenus(menuBar());
    ListPagesInWindowMenu();

    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setMovable(false);
    m_commands->BuildToolBar(m_toolBar);
    m_toolBar->setVisible(m_settings.drawToolBar != 0);

    BuildStatusBar();
    statusBar()->setVisible(m_settings.drawStatusBar != 0);

    m_contextMenu = new QMenu(this);
    m_waiting = new CWaitingDialog(this);
    connect(m_waiting, &CWaitingDialog::Cancelled, this, [this] {
        m_controller.GetSource()->Disconnect();
        UpdateCommands();
    });

    for (auto& module : m_modules) {
        if (module->MayCreateWindowsLater(m_settings))
            m_laterWindows.push_back(module.get());
        else
            module->CreateWindows(*this, m_settings);
    }
    // The feed's messages from now on, and the windows above, wait for the
    // first frame, or for this when the window never paints.
    m_firstFrameTimer.start(kFirstFrameWaitMs, this);

    ApplyPlacement();
    if (m_settings.alwaysOnTop == 1)
        SetAlwaysOnTop(true);

    m_flashTimer.start(kFlashIntervalMs, this);
    m_controller.Register(&m_controller.Link());
    m_listening = true;
    m_created = true;
    UpdateCommands();
}

void CMainFrame::BuildStatusBar()
{
    // The panes after the message pane keep at least their widths, and a text that needs more
    // room (a larger font than the widths were made for) widens its pane
    // rather than being cut; the message pane takes what is left.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < kPaneCount; ++i) {
        m_panes[i] = new QLabel(this);
        m_panes[i]->setObjectName(QStringLiteral("Pane%1").arg(i));
        m_panes[i]->setTextFormat(Qt::PlainText);
        if (i != kMessagePane) {
            m_panes[i]->setMinimumWidth(kPaneWidths[i]);
            m_panes[i]->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
        }
    }
    m_panes[kMessagePane]->setMinimumWidth(0);
    m_panes[kMessagePane]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_panes[kMessagePane]->setText(Q(kReady));
    bar->addWidget(m_panes[kMessagePane], 1);

    // The feed-state pane carries the state's mark before its text.
    auto* state = new QWidget(this);
    auto* stateLayout = new QHBoxLayout(state);
    stateLayout->setContentsMargins(2, 0, 2, 0);
    stateLayout->setSpacing(4);
    m_stateMark = new QLabel(state);
    m_stateMark->setPixmap(NotConnectedMark());
    m_panes[kFeedStatePane]->setParent(state);
    stateLayout->addWidget(m_stateMark);
    stateLayout->addWidget(m_panes[kFeedStatePane], 1);
    bar->addPermanentWidget(state);
    for (int i = kSourcePane; i < kPaneCount; ++i)
        bar->addPermanentWidget(m_panes[i]);
    m_panes[kFeedStatePane]->setText(Q(kNotConnected));
}

void CMainFrame::ApplyPlacement()
{
    int width = m_settings.right - m_settings.left;
    int height = m_settings.bottom - m_settings.top;
    const CMainFrameSettings defaults;
    // A rectangle with no room in it (hand-edited, or from a broken save)
    // would make the window unreachable; the default size stands in.
    if (width < 100 || height < 100) {
        width = defaults.right - defaults.left;
        height = defaults.bottom - defaults.top;
    }
    m_normalRect = QRect(m_settings.left, m_settings.top, width, height);
    setGeometry(m_normalRect);
}

bool CMainFrame::LoadDocumentsAndSections(const Brindle::CRegSection& root)
{
    // The pages' thousands of values in one pass; a module may store what it
    // adds.
    return InOneStorePass([&] {
        bool loaded = true;
        // Pages reopen in the order they were saved: "2" before "10".
        for (auto& module : m_modules) {
            if (!module->HasDocuments())
                continue;
            Brindle::CRegSection documents(root, kDocumentSection);
            for (const std::string& name : DocumentSectionNames(documents)) {
                Brindle::CRegSection document(documents, name.c_str());
                loaded = loaded && document.IsOpen() && module->LoadDocument(document);
            }
            break;
        }
        for (auto& module : m_modules)
            loaded = loaded && module->LoadSections(root);
        return loaded;
    });
}

bool CMainFrame::LoadSettings()
{
    Brindle::CRegSection root(HKEY_CURRENT_USER, kSettingsRoot);
    if (!root.IsOpen())
        return false;

    m_controller.GetSource()->Connect();
    if (m_controller.GetSource()->UsesModem() && m_dialModem)
        m_dialModem();  // whatever its result

    if (!LoadDocumentsAndSections(root))
        return false;

    Brindle::CRegSection mainFrame(root, kMainFrameSection);
    if (!mainFrame.IsOpen())
        return false;
    m_settings.LoadPlacement(mainFrame);
    if (m_settings.fullScreen == 1)
        SetFullScreen(true);
    else if (m_settings.maximized == 1)
        showMaximized();
    SetAlwaysOnTop(m_settings.alwaysOnTop == 1);
    update();
    UpdateCommands();
    return true;
}

// ----------------------------------------------------------------- save

bool CMainFrame::SaveAllSettings(std::string* error)
{
    TrackNormalRect();
    m_settings.left = m_normalRect.x();
    m_settings.top = m_normalRect.y();
    m_settings.right = m_normalRect.x() + m_normalRect.width();
    m_settings.bottom = m_normalRect.y() + m_normalRect.height();
    // Full screen keeps the window maximised underneath.
    m_settings.maximized = (m_fullScreen || isMaximized()) ? 1 : 0;
    m_settings.fullScreen = m_fullScreen ? 1 : 0;
    if (m_toolBar != nullptr)
        m_settings.drawToolBar = m_toolBar->isHidden() ? 0 : 1;
    if (m_created)
        m_settings.drawStatusBar = statusBar()->isHidden() ? 0 : 1;
    for (auto& module : m_modules)
        module->StoreWindowSettings(m_settings);

    SettingsSave save;
    save.frame = &m_settings;
    save.mainFrameExtras = [this](const Brindle::CRegSection& mainFrame) {
        for (auto& module : m_modules)
            if (!module->SaveMainFrameValues(mainFrame))
                return false;
        return true;
    };
    save.otherSections = [this](const Brindle::CRegSection& root) {
        for (auto& module : m_modules)
            if (!module->SaveSections(root))
                return false;
        return true;
    };
    save.controller = &m_controller;
    save.machine = MachineString().c_str();
    for (auto& module : m_modules) {
        if (module->HasDocuments()) {
            CFrameModule* owner = module.get();
            save.documents = [owner](const Brindle::CRegSection& documents) { return owner->SaveDocuments(documents); };
            break;
        }
    }
    return mavo::SaveAllSettings(kSettingsRoot, save, error);
}

void CMainFrame::SaveFromCommand()
{
    std::string error;
    if (!SaveAllSettings(&error))
        Ask(Q(kErrorCaption), Q(kCannotSaveSettings) + QStringLiteral("\n") + Q(error), CMessageService::Icon::Error,
            CMessageService::Buttons::Ok);
}

// -------------------------------------------------------------- commands

void CMainFrame::InstallOwnCommands()
{
    using C = CommandId;
    CCommandSet& c = *m_commands;
    c.Install(C::ConnectPrimary, [this] { ConnectPrimary(); });
    c.Install(C::ConnectBackup, [this] { ConnectBackup(); });
    c.Install(C::Failover, [this] { AskFailover(); });
    c.Install(C::Disconnect, [this] { Disconnect(); });
    c.Install(C::PopupNotifications, [this] { Toggle(m_settings.contribPopup); });
    c.Install(C::TradeTimer, [this] { Toggle(m_settings.tradeTimer); });
    c.Install(C::AnchorWindows, [this] { Toggle(m_settings.anchored); });
    c.Install(C::InfoClickEnabled, [this] { Toggle(m_settings.infoOnClick); });
    c.Install(C::AlwaysOnTop, [this] { SetAlwaysOnTop(m_settings.alwaysOnTop != 1); });
    c.Install(C::RefreshWindows, [this] {
        for (auto& module : m_modules)
            module->RecheckPages();
    });
    c.Install(C::ViewFullScreen, [this] { SetFullScreen(!m_fullScreen); });
    c.Install(C::LeaveFullScreen, [this] { SetFullScreen(false); },
              // Space leaves full screen and does nothing otherwise, so the
              // key stays free for the windows while it is off.
              [](const FrameCommandState& s, bool) { return CommandUi{s.fullScreen, false}; });
    c.Install(C::SaveFormat, [this] { SaveFromCommand(); });
    c.Install(C::ViewToolBar, [this] {
        m_toolBar->setVisible(m_toolBar->isHidden());
        UpdateCommands();
    });
    c.Install(C::ViewStatusBar, [this] {
        statusBar()->setVisible(statusBar()->isHidden());
        UpdateCommands();
    });
    c.Install(C::About, [this] { ShowAbout(); });
    c.Install(C::Exit, [this] { close(); });
}

bool CMainFrame::RunCommand(CommandId id)
{
    UpdateCommands();
    return m_commands->Run(id);
}

FrameCommandState CMainFrame::CommandState() const
{
    FrameCommandState s;
    s.connected = m_connection.IsConnected();
    s.failover = m_connection.Failover();
    s.fullView = m_controller.IsFullView();
    s.anchored = m_settings.anchored != 0;
    s.infoOnClick = m_settings.infoOnClick != 0;
    s.popupNotifications = m_settings.contribPopup != 0;
    s.tradeTimer = m_settings.tradeTimer != 0;
    s.alwaysOnTop = m_settings.alwaysOnTop != 0;
    s.fullScreen = m_fullScreen;
    for (auto& module : m_modules)
        s.pageWindowActive = s.pageWindowActive || module->IsPageWindowActive();
    s.toolBarVisible = m_toolBar != nullptr && !m_toolBar->isHidden();
    s.statusBarVisible = m_created && !statusBar()->isHidden();
    return s;
}

void CMainFrame::UpdateCommands() { m_commands->Update(CommandState()); }

void CMainFrame::Toggle(int& flag)
{
    flag = flag != 0 ? 0 : 1;
    UpdateCommands();
}

void CMainFrame::ConnectPrimary()
{
    if (m_connection.ConnectPrimary() && m_dialModem && !m_dialModem()) {
        // The dial was cancelled: the modem line closes with the source.
        m_controller.GetSource()->Disconnect();
    }
    UpdateCommands();
}

void CMainFrame::ConnectBackup()
{
    m_connection.ConnectBackup();
    UpdateCommands();
}

void CMainFrame::AskFailover()
{
    const int failover = m_connection.Failover();
    if (Ask(Q(kFailoverCaption), Q(FailoverQuestion(failover)), CMessageService::Icon::Question,
            CMessageService::Buttons::YesNo) != CMessageService::Yes)
        return;
    if (failover == 1)
        ConnectPrimary();
    else
        ConnectBackup();
}

void CMainFrame::Disconnect()
{
    m_connection.Disconnect([this] {
        return Ask(Q(kDisconnectCaption), Q(kHangupQuestion), CMessageService::Icon::Question,
                   CMessageService::Buttons::YesNo) == CMessageService::Yes;
    });
    UpdateCommands();
}

QRect CMainFrame::FullScreenRect() const
{
    QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QRect area = where != nullptr ? where->geometry() : QRect(0, 0, 1024, 768);
    const ScreenRect r = ResolveFullScreen(m_settings.fullScreenArea,
                                           ScreenRect{area.x(), area.y(), area.width(), area.height()});
    return QRect(r.x, r.y, r.width, r.height);
}

void CMainFrame::SetFullScreen(bool on)
{
    if (on == m_fullScreen)
        return;
    if (on) {
        TrackNormalRect();
        m_wasMaximized = isMaximized();
        m_fullScreen = true;
        // The caption, the menu and the borders go outside the rectangle:
        // here the window loses its frame and menu while the rectangle is
        // all it covers.
        menuBar()->hide();
        setWindowFlag(Qt::FramelessWindowHint, true);
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
        setGeometry(FullScreenRect());
        show();
    } else {
        m_fullScreen = false;
        setWindowFlag(Qt::FramelessWindowHint, false);
        menuBar()->show();
        if (m_wasMaximized) {
            showMaximized();
        } else {
            setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
            setGeometry(m_normalRect);
            show();
        }
    }
    UpdateCommands();
}

void CMainFrame::SetAlwaysOnTop(bool on)
{
    m_settings.alwaysOnTop = on ? 1 : 0;
    const bool current = (windowFlags() & Qt::WindowStaysOnTopHint) != 0;
    if (current != on) {
        // Changing a flag re-creates the native window: keep where it is.
        const QRect where = geometry();
        const bool wasVisible = isVisible();
        const Qt::WindowStates states = windowState();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (!(states & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            setGeometry(where);
        if (wasVisible) {
            setWindowState(states);
            show();
        }
    }
    UpdateCommands();
}

void CMainFrame::ShowAbout()
{
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    const AboutInfo info = AboutInfo::Load(Section(kSubmitSection));
    m_about = new CAboutDialog(info, Brindle::GetStartTimestamp(), m_messages, m_opener, this);
    m_about->setAttribute(Qt::WA_DeleteOnClose);
    m_about->open();
}

void CMainFrame::BringForward()
{
    QWidget* popup = QApplication::activeModalWidget();
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (!isVisible())
        show();
    QWidget* target = popup != nullptr ? popup : this;
    target->raise();
    target->activateWindow();
}

void CMainFrame::CloseWithoutQuestion()
{
    m_closeWithoutQuestion = true;
    close();
}

QString CMainFrame::PaneText(int pane) const
{
    if (pane < 0 || pane >= kPaneCount || m_panes[pane] == nullptr)
        return QString();
    return m_panes[pane]->text();
}

// ---------------------------------------------------------- window events

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!m_closeWithoutQuestion) {
        const int answer = Ask(Q(kExitCaption), Q(kExitQuestion), CMessageService::Icon::Question,
                               CMessageService::Buttons::YesNoCancel);
        if (answer == CMessageService::Cancel) {
            event->ignore();
            return;
        }
        if (answer == CMessageService::Yes) {
            std::string error;
            if (!SaveAllSettings(&error)) {
                // Closing now would lose the settings the user asked to keep.
                Ask(Q(kErrorCaption), Q(kCannotSaveSettings) + QStringLiteral("\n") + Q(error),
                    CMessageService::Icon::Error, CMessageService::Buttons::Ok);
                event->ignore();
                return;
            }
        }
    }
    StopFeedListening();
    event->accept();
    emit Closed();
}

void CMainFrame::ListPagesInWindowMenu()
{
    QMenu* window = nullptr;
    for (QAction* action : menuBar()->actions())
        if (action->menu() != nullptr && action->text() == QStringLiteral("&Window"))
            window = action->menu();
    if (window == nullptr)
        return;
    // Below Cascade and Tile, the open page windows, numbered, the active
    // one checked; choosing one activates it.
    connect(window, &QMenu::aboutToShow, this, [this, window] {
        for (QAction* old : m_pageActions)
            window->removeAction(old);
        qDeleteAll(m_pageActions);
        m_pageActions.clear();
        const QList<QMdiSubWindow*> pages = m_mdi->subWindowList(QMdiArea::CreationOrder);
        if (pages.isEmpty())
            return;
        m_pageActions.append(window->addSeparator());
        int number = 0;
        for (QMdiSubWindow* page : pages) {
            ++number;
            const QString text = number <= 9 ? QStringLiteral("&%1 %2").arg(number).arg(page->windowTitle())
                                             : QStringLiteral("%1 %2").arg(number).arg(page->windowTitle());
            QAction* action = window->addAction(text);
            action->setCheckable(true);
            action->setChecked(page == m_mdi->activeSubWindow());
            QPointer<QMdiSubWindow> target(page);
            connect(action, &QAction::triggered, this, [this, target] {
                if (target)
                    m_mdi->setActiveSubWindow(target);
            });
            m_pageActions.append(action);
        }
    });
}

void CMainFrame::contextMenuEvent(QContextMenuEvent* event)
{
    UpdateCommands();
    m_commands->FillContextMenu(m_contextMenu);
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? (centralWidget() != nullptr ? centralWidget() : this)->mapToGlobal(QPoint(5, 5))
                          : event->globalPos();
    m_contextMenu->popup(at);
    event->accept();
}

void CMainFrame::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_firstFrameTimer.timerId()) {
        ReleaseHeldMessages();
        return;
    }
    if (event->timerId() != m_flashTimer.timerId()) {
        QMainWindow::timerEvent(event);
        return;
    }
    ++m_flashCount;
    for (auto& module : m_modules)
        module->OnFlashTick(m_flashCount);
    UpdateCommands();
}

void CMainFrame::TrackNormalRect()
{
    if (!m_fullScreen && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) &&
        isVisible())
        m_normalRect = geometry();
}

void CMainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    TrackNormalRect();
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    TrackNormalRect();
}

// ------------------------------------------------------------ feed events

void CMainFrame::customEvent(QEvent* event)
{
    m_handover.load(std::memory_order_acquire);
    if (!IsFrameEventType(event->type())) {
        QMainWindow::customEvent(event);
        return;
    }
    const FrameMessage& message = static_cast<CFrameEvent*>(event)->Message();
    // Nothing the feed says needs to be on the screen before the window
    // itself: the permissions alone make a save of every setting.
    if (m_firstFrame != FirstFrame::Shown && (isVisible() || !m_held.empty())) {
        m_held.push_back(message);
        return;
    }
    Dispatch(message);
}

void CMainFrame::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    if (m_firstFrame != FirstFrame::Waiting)
        return;
    // The page windows paint after this one in the same frame: the held
    // messages go once the whole frame is out.
    m_firstFrame = FirstFrame::Painted;
    QMetaObject::invokeMethod(this, &CMainFrame::ReleaseHeldMessages, Qt::QueuedConnection);
}

void CMainFrame::ReleaseHeldMessages()
{
    if (m_firstFrame == FirstFrame::Shown)
        return;
    m_firstFrame = FirstFrame::Painted;  // a paint meanwhile queues no second release
    m_firstFrameTimer.stop();
    for (CFrameModule* module : std::exchange(m_laterWindows, {}))
        module->CreateWindows(*this, m_settings);
    // Messages that come while one of these is handled (a message box runs
    // its own loop) queue behind the rest.
    while (!m_held.empty()) {
        const FrameMessage message = std::move(m_held.front());
        m_held.pop_front();
        Dispatch(message);
    }
    m_firstFrame = FirstFrame::Shown;
}

void CMainFrame::Dispatch(const FrameMessage& message)
{
    switch (message.id) {
    case MSG_WAIT: OnWait(message.first == 1); break;
    case MSG_FEED_STATE: OnFeedState(FeedStateFromWire(message.first), message.second); break;
    case MSG_FEED_TIME: OnFeedTime(); break;
    case MSG_PERMISSIONS: OnPermissionsLoaded(); break;
    case MSG_FEED_NOTICE: break;  // the notice is not shown
    case MSG_NOTIFICATION: OnNotification(message.text.value_or(std::string())); break;
    case MSG_LOGIN_FAILED: OnLoginFailed(message.text); break;
    case MSG_PAGE_TITLE: OnPageTitle(message.first); break;
    case MSG_COMMAND: RunCommand(static_cast<CommandId>(message.first)); break;
    case MSG_SOURCE_LOG: OnSourceLog(); break;
    default: break;
    }
}

void CMainFrame::OnWait(bool begin)
{
    if (m_waiting == nullptr)
        return;
    if (begin)
        m_waiting->Begin(Q(m_controller.Link().GetStatusText()));
    else
        m_waiting->End();
}

void CMainFrame::OnFeedState(FeedState state, int kind)
{
    const std::string status = m_controller.Link().GetStatusText();
    for (auto& module : m_modules)
        module->OnFeedState(state, kind, status);
    if (m_panes[kFeedStatePane] != nullptr) {
        m_panes[kFeedStatePane]->setText(Q(FeedStateText(state)));
        m_stateMark->setPixmap(FeedStateMark(state));
        m_panes[kAddressPane]->setText(Q(status));
        m_panes[kSourcePane]->setText(Q(m_controller.Link().GetSourceName()));
    }
    // The feed is alive again: the open pages ask for their pages (on this
    // thread, where the documents live).
    if (state == FeedState::Live)
        for (auto& module : m_modules)
            module->RequestPages();
    for (auto& module : m_modules)
        module->RecheckPages();
    UpdateCommands();
}

void CMainFrame::OnFeedTime()
{
    CFrameLink& link = m_controller.Link();
    link.FeedTimeTaken();
    if (m_panes[kFeedTimePane] != nullptr)
        m_panes[kFeedTimePane]->setText(QString::fromUtf8(link.GetTimestamp().GetFeedTime()));
}

void CMainFrame::OnPermissionsLoaded()
{
    std::string error;
    const bool saved = SaveAllSettings(&error);
    for (auto& module : m_modules)
        module->RecheckPages();
    if (!saved)
        for (auto& module : m_modules)
            module->OnSourceLog(std::string(kCannotSaveSettings) + " " + error);
    for (auto& module : m_modules) {
        module->OnSourceLog(kNewPermissionsLog);
        module->OnPermissionsLoaded();
    }
}

void CMainFrame::OnNotification(const std::string& text)
{
    for (auto& module : m_modules)
        module->OnNotification(text);
    if (m_settings.contribPopup != 0)
        Ask(Q(kNotificationCaption), Q(text), CMessageService::Icon::Information, CMessageService::Buttons::Ok);
}

void CMainFrame::OnLoginFailed(const std::optional<std::string>& reason)
{
    Ask(Q(kErrorCaption), Q(LoginFailedText(reason)), CMessageService::Icon::Error, CMessageService::Buttons::Ok);
}

void CMainFrame::OnPageTitle(int page)
{
    for (auto& module : m_modules)
        module->OnPageTitle(page);
}

void CMainFrame::OnSourceLog()
{
    const std::vector<std::string> lines = m_controller.Link().TakeSourceLog();
    for (auto& module : m_modules)
        for (const std::string& line : lines)
            module->OnSourceLog(line);
}

} // namespace mavo
