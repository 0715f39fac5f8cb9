#include "pages/ui/PagesModule.h"

#include "Brindle/base/RegSection.h"
#include "core/AppIdentity.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/PageWindows.h"

#include <QMdiArea>
#include <QMenu>

#include <cstring>

namespace mavo {

namespace {

// Bits of the main window's "InfoTip" that change the drawing.
constexpr int kBestPriceBit = 1 << 4;
constexpr int kWhenCenterColorsBit = 1 << 5;

CMessageService::Icon IconOf(PageMessageKind kind)
{
    switch (kind) {
    case PageMessageKind::Question: return CMessageService::Icon::Question;
    case PageMessageKind::Stop: return CMessageService::Icon::Error;
    case PageMessageKind::Information:
    default: return CMessageService::Icon::Information;
    }
}

} // namespace

CPagesModule::CPagesModule(CScreenController& controller) : m_controller(controller), m_feed(controller) {}

CPagesModule::~CPagesModule() = default;

void CPagesModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    using C = CommandId;
    CCommandSet& commands = frame.Commands();
    auto active = [this] { return m_windows ? m_windows->ActiveFrame() : nullptr; };
    commands.Install(C::New, [this] {
        if (m_windows)
            m_windows->NewPageCommand(m_frame);
        m_frame->UpdateCommands();
    });
    commands.Install(
        C::Close,
        [active] {
            if (CChildFrame* f = active())
                f->close();
        },
        [this](const FrameCommandState& s, bool) { return CommandUi{s.pageWindowActive, false}; });
    const std::pair<C, int> styles[] = {{C::TitleBar, CChildFrame::kTitleBar},
                                        {C::BorderOnly, CChildFrame::kBorderOnly},
                                        {C::Frameless, CChildFrame::kFrameless}};
    for (const auto& [id, style] : styles) {
        commands.Install(
            id,
            [this, active, style = style] {
                if (CChildFrame* f = active())
                    f->SetFrameStyle(style);
                m_frame->UpdateCommands();
            },
            [active, style = style](const FrameCommandState&, bool) {
                CChildFrame* f = active();
                return CommandUi{f != nullptr, f != nullptr && f->FrameStyle() == style};
            });
    }
    commands.Install(C::PrintPage, [this] {
        if (m_windows)
            m_windows->PrintPageCommand(m_frame);
    });
    commands.Install(C::PrintAllPages, [this] {
        if (m_windows)
            m_windows->PrintAllPagesCommand(m_frame);
    });
}

void CPagesModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings&)
{
    m_frame = &frame;
    CMessageService& messages = frame.Messages();
    PageAsker asker = [&messages](QWidget* parent, const QString& caption, const QString& text, PageMessageKind kind) {
        const auto buttons = kind == PageMessageKind::Question ? CMessageService::Buttons::YesNo
                                                                : CMessageService::Buttons::Ok;
        const int answer = messages.Show(parent, caption, text, IconOf(kind), buttons);
        return kind == PageMessageKind::Question ? answer == CMessageService::Yes : true;
    };
    m_windows = std::make_unique<CPageWindows>(m_feed, m_env, frame.MdiArea(), std::move(asker), kSettingsRoot);
    m_windows->SetContextMenuFiller([this](QMenu* menu) { FillViewMenu(menu); });
    // The print format, read as the window is made.
    m_windows->LoadPrintFormat(
        Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kSettingsRoot) + "/" + kPrintStyleSection).c_str()));
    QObject::connect(frame.MdiArea(), &QMdiArea::subWindowActivated, &frame, [this] {
        if (m_frame != nullptr)
            m_frame->UpdateCommands();
    });
    QObject::connect(m_windows.get(), &CPageWindows::DocumentsChanged, &frame, [this] {
        if (m_frame != nullptr)
            m_frame->UpdateCommands();
    });
    SyncWithFrame();
}

void CPagesModule::FillViewMenu(QMenu* menu)
{
    if (m_frame == nullptr)
        return;
    m_frame->UpdateCommands();
    using C = CommandId;
    const C items[] = {C::Close, C::None, C::TitleBar, C::BorderOnly, C::Frameless, C::None, C::PrintPage};
    for (C id : items) {
        if (id == C::None) {
            if (!menu->isEmpty())
                menu->addSeparator();
        } else if (QAction* action = m_frame->Commands().Action(id)) {
            menu->addAction(action);
        }
    }
}

bool CPagesModule::SaveSections(const Brindle::CRegSection& root)
{
    if (!m_windows)
        return true;
    return m_windows->SavePrintFormat(Brindle::CRegSection(root, kPrintStyleSection));
}

bool CPagesModule::LoadSections(const Brindle::CRegSection&)
{
    // Documents are reopened by now: draw them with the loaded switches.
    SyncWithFrame();
    return true;
}

bool CPagesModule::SaveDocuments(const Brindle::CRegSection& documents)
{
    return !m_windows || m_windows->SaveDocuments(documents);
}

bool CPagesModule::LoadDocument(const Brindle::CRegSection& document)
{
    if (!m_windows)
        return false;
    m_windows->LoadDocument(document);
    return true;
}

bool CPagesModule::IsPageWindowActive() const { return m_windows && m_windows->ActiveFrame() != nullptr; }

void CPagesModule::OnFeedState(FeedState state, int, const std::string&)
{
    if (m_windows)
        m_windows->OnFeedState(state);
}

void CPagesModule::RequestPages()
{
    if (m_windows)
        m_windows->RequestPages();
}

void CPagesModule::RecheckPages()
{
    SyncWithFrame();
    if (m_windows)
        m_windows->RecheckPages();
}

void CPagesModule::OnPageTitle(int page)
{
    if (m_windows)
        m_windows->OnPageTitle(page);
}

void CPagesModule::OnFlashTick(int count)
{
    // The switches change through the main window's own commands and
    // dialogs; a tick is often enough to follow them.
    if (SyncWithFrame())
        RecheckPages();
    if (m_windows)
        m_windows->OnFlashTick(count);
}

bool CPagesModule::SyncWithFrame()
{
    if (m_frame == nullptr)
        return false;
    const CMainFrameSettings& s = m_frame->Settings();
    CPageOptions options;
    options.bestPriceIndicator = (s.infoTip & kBestPriceBit) != 0;
    options.whenCenterColors = (s.infoTip & kWhenCenterColorsBit) != 0;
    options.enableMyPrice = s.enableMyPrice != 0;
    options.enableMeta2 = s.enableMeta2 != 0;
    options.tradeTimer = s.tradeTimer != 0;
    options.anchored = s.anchored != 0;
    options.infoOnClick = s.infoOnClick != 0;
    const auto colour = [](int value) { return static_cast<ColorRef>(value) & 0xFFFFFFu; };
    const bool coloursChanged = m_env.schemes.MyCustomerFG() != colour(s.myCustFG) ||
                                m_env.schemes.MyCustomerBG() != colour(s.myCustBG) ||
                                m_env.schemes.MyPriceFG() != colour(s.myPriceFG) ||
                                m_env.schemes.MyPriceBG() != colour(s.myPriceBG);
    const bool optionsChanged = std::memcmp(&options, &m_env.options, sizeof options) != 0;
    if (coloursChanged) {
        m_env.schemes.SetMyCustomerColors(colour(s.myCustFG), colour(s.myCustBG));
        m_env.schemes.SetMyPriceColors(colour(s.myPriceFG), colour(s.myPriceBG));
    }
    m_env.options = options;
    return coloursChanged || optionsChanged;
}

} // namespace mavo
