#include "properties/ui/FormatActions.h"

#include "Brindle/base/RegSection.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/PageWindows.h"
#include "pages/ui/RowPainter.h"
#include "properties/ui/PropertySheet.h"

#include <QFontDialog>
#include <QMdiArea>

namespace mavo {

namespace {

constexpr const char* kSaveFailedText = "The default style could not be saved.";

} // namespace

CFormatActions::CFormatActions(CPageWindows& windows) : m_windows(windows)
{
    m_runSheet = [](CPagePropertySheet& sheet) { return sheet.exec(); };
    m_chooseFont = [](QWidget* parent, const QFont& current) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, InPoints(current), parent);
        if (!ok)
            return std::nullopt;
        return font;
    };
}

CChildFrame* CFormatActions::ActiveFrame() const { return m_windows.ActiveFrame(); }

bool CFormatActions::ShowProperties(CChildFrame* frame, PropertyPage first, QWidget* parent)
{
    if (frame == nullptr || frame->View() == nullptr)
        return false;
    CPagePropertySheet sheet(*frame->View(), m_windows.Asker(), first, parent);
    return m_runSheet(sheet) == QDialog::Accepted;
}

CPageFormat CFormatActions::LoadDefaultStyle() const
{
    CPageFormat format;
    format.Load(Brindle::CRegSection(HKEY_CURRENT_USER,
                                     (m_windows.SettingsRoot() + "/" + kDefaultStyleSection).c_str()));
    return format;
}

bool CFormatActions::SetAsDefault(CChildFrame* frame, QWidget* parent)
{
    if (frame == nullptr || frame->View() == nullptr)
        return false;
    const PageAsker ask = m_windows.Asker();
    if (!ask || !ask(parent, QString::fromLatin1(kSetDefaultCaption), QString::fromLatin1(kSetDefaultQuestion),
                     PageMessageKind::Question))
        return false;
    const Brindle::CRegSection section(HKEY_CURRENT_USER,
                                       (m_windows.SettingsRoot() + "/" + kDefaultStyleSection).c_str());
    if (frame->View()->Format().Save(section))
        return true;
    ask(parent, QString::fromLatin1(kSetDefaultCaption), QString::fromLatin1(kSaveFailedText),
        PageMessageKind::Stop);
    return false;
}

bool CFormatActions::ApplyDefault(CChildFrame* frame)
{
    if (frame == nullptr || frame->View() == nullptr)
        return false;
    CPageFormat format = frame->View()->Format();
    if (!ApplyDefaultStyle(format, LoadDefaultStyle()))
        return false;
    frame->View()->SetFormat(format);
    frame->View()->OnRedraw();
    return true;
}

int CFormatActions::ApplyToAll(QWidget* parent)
{
    const PageAsker ask = m_windows.Asker();
    if (!ask || !ask(parent, QString::fromLatin1(kApplyDefaultCaption), QString::fromLatin1(kApplyDefaultQuestion),
                     PageMessageKind::Question))
        return 0;
    const std::vector<CChildFrame*> frames = m_windows.Frames();
    std::vector<PageWindowState> states;
    for (CChildFrame* frame : frames)
        states.push_back({frame->isMinimized(), IsLocked(frame)});
    int changed = 0;
    for (int index : ApplyToAllTargets(states))
        if (ApplyDefault(frames[static_cast<std::size_t>(index)]))
            ++changed;
    return changed;
}

bool CFormatActions::IsLocked(const CChildFrame* frame) const
{
    return frame != nullptr && frame->View() != nullptr && frame->View()->Format().formatLocked != 0;
}

bool CFormatActions::ToggleLock(CChildFrame* frame)
{
    if (frame == nullptr || frame->View() == nullptr)
        return false;
    CPageFormat format = frame->View()->Format();
    const bool locked = ToggleFormatLock(format);
    frame->View()->SetFormat(format);
    return locked;
}

bool CFormatActions::ChooseFont(CChildFrame* frame, QWidget* parent)
{
    if (frame == nullptr || frame->View() == nullptr || !m_chooseFont)
        return false;
    const std::optional<QFont> font = m_chooseFont(parent, FontForDialog(frame->View()->Format().font));
    if (!font)
        return false;
    ApplyFont(frame, *font);
    return true;
}

void CFormatActions::ApplyFont(CChildFrame* frame, const QFont& font)
{
    if (frame == nullptr || frame->View() == nullptr)
        return;
    CPageFormat format = frame->View()->Format();
    format.font = LogFontFromFont(font);
    frame->View()->SetFormat(format);
    frame->View()->OnRedraw();
}

bool CFormatActions::EditPrintFormat(QWidget* parent)
{
    CPagePropertySheet sheet(m_windows.PrintFormat(), parent);
    if (m_runSheet(sheet) != QDialog::Accepted)
        return false;
    m_windows.PrintFormat() = sheet.PrintFormat();
    return true;
}

} // namespace mavo
