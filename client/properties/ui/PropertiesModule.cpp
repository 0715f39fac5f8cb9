#include "properties/ui/PropertiesModule.h"

#include "core/ui/MainFrame.h"
#include "pages/ui/PageWindows.h"
#include "pages/ui/PagesModule.h"
#include "properties/ui/FormatActions.h"

namespace mavo {

CPropertiesModule::CPropertiesModule(CPagesModule& pages) : m_pages(pages) {}

CPropertiesModule::~CPropertiesModule() = default;

void CPropertiesModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    using C = CommandId;
    CCommandSet& commands = frame.Commands();
    // Runs an action on the active page window once the windows exist.
    auto onActive = [this](auto action) {
        return [this, action] {
            if (m_actions)
                if (CChildFrame* active = m_actions->ActiveFrame())
                    action(*m_actions, active);
            if (m_frame != nullptr)
                m_frame->UpdateCommands();
        };
    };
    const CCommandSet::Rule whilePageActive = [](const FrameCommandState& s, bool) {
        return CommandUi{s.pageWindowActive, false};
    };

    for (C id : {C::Properties, C::ModifyLayout, C::ModifyStack, C::ModifyAggressors, C::ModifyTradeHistory,
                 C::ModifyContents}) {
        const PropertyPage first = *FirstPageFor(id);
        commands.Install(
            id, onActive([this, first](CFormatActions& a, CChildFrame* f) { a.ShowProperties(f, first, m_frame); }),
            whilePageActive);
    }
    commands.Install(C::SetAsDefault,
                     onActive([this](CFormatActions& a, CChildFrame* f) { a.SetAsDefault(f, m_frame); }),
                     whilePageActive);
    commands.Install(C::ApplyDefault, onActive([](CFormatActions& a, CChildFrame* f) { a.ApplyDefault(f); }),
                     whilePageActive);
    commands.Install(C::ApplyToAll, [this] {
        if (m_actions)
            m_actions->ApplyToAll(m_frame);
    });
    commands.Install(
        C::LockFormat, onActive([](CFormatActions& a, CChildFrame* f) { a.ToggleLock(f); }),
        [this](const FrameCommandState& s, bool) {
            const bool locked = m_actions && m_actions->IsLocked(m_actions->ActiveFrame());
            return CommandUi{s.pageWindowActive, s.pageWindowActive && locked};
        });
    commands.Install(C::Font, onActive([this](CFormatActions& a, CChildFrame* f) { a.ChooseFont(f, m_frame); }),
                     whilePageActive);
    commands.Install(C::PrintFormat, [this] {
        if (m_actions)
            m_actions->EditPrintFormat(m_frame);
    });
}

void CPropertiesModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings&)
{
    m_frame = &frame;
    if (CPageWindows* windows = m_pages.Windows())
        m_actions = std::make_unique<CFormatActions>(*windows);
}

} // namespace mavo
