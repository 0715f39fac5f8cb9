#include "lists/ui/ListsModule.h"

#include "core/AppIdentity.h"
#include "core/FrameTexts.h"
#include "core/ScreenController.h"
#include "core/ui/MainFrame.h"
#include "lists/ui/PageListDialog.h"
#include "lists/ui/PagePermissionWindow.h"
#include "lists/ui/VolumeReportWindow.h"
#include "pages/ui/PagesModule.h"

#include <QColorDialog>

namespace mavo {

namespace {

std::optional<ColorRef> ChooseWithColourDialog(QWidget* parent, ColorRef initial)
{
    const QColor chosen = QColorDialog::getColor(QColor(RedOf(initial), GreenOf(initial), BlueOf(initial)), parent);
    if (!chosen.isValid())
        return std::nullopt;
    return RGBColor(chosen.red(), chosen.green(), chosen.blue());
}

} // namespace

CListsModule::CListsModule(CScreenController& controller, CPagesModule* pages)
    : m_controller(controller), m_feed(controller), m_pages(pages), m_chooser(ChooseWithColourDialog)
{
}

CListsModule::~CListsModule()
{
    // The main window lets its modules go while it is whole, page windows
    // first: the report leaves the feed's key clients here.
    delete m_report;
    delete m_permission;
}

void CListsModule::HandListsToPages()
{
    if (m_pages == nullptr)
        return;
    CPageEnvironment& env = m_pages->Environment();
    env.customers = &m_lists;
    env.pageListed = [this](int page) { return m_lists.IsPageListed(page); };
}

bool CListsModule::LoadInitialSettings(const Brindle::CRegSection& mainFrame)
{
    m_lists.Load(mainFrame);
    HandListsToPages();
    return true;
}

bool CListsModule::SaveMainFrameValues(const Brindle::CRegSection& mainFrame) { return m_lists.Save(mainFrame); }

void CListsModule::InstallCommands(CMainFrame& frame)
{
    m_frame = &frame;
    CCommandSet& commands = frame.Commands();
    commands.Install(CommandId::CustomerList, [this] { EditCustomerList(); });
    commands.Install(CommandId::PageList, [this] { EditPageList(); });
    commands.Install(CommandId::PagePermission, [this] { ShowPagePermission(); });
    commands.Install(CommandId::VolumeReport, [this] { ShowVolumeReport(); });
}

void CListsModule::CreateWindows(CMainFrame& frame, const CMainFrameSettings&)
{
    m_frame = &frame;
    HandListsToPages();
    m_permission = new CPagePermissionWindow([this](int page) { return m_controller.GetPermission(page); }, &frame);
    m_permission->setWindowFlag(Qt::Tool);
}

void CListsModule::OnPermissionsLoaded()
{
    if (m_permission)
        m_permission->NewPermissionReceived();
}

void CListsModule::RecheckAllPages()
{
    if (m_frame != nullptr)
        m_frame->RunCommand(CommandId::RefreshWindows);
    else if (m_pages != nullptr)
        m_pages->RecheckPages();
}

void CListsModule::EditCustomerList()
{
    if (m_frame == nullptr)
        return;
    CMainFrameSettings& settings = m_frame->Settings();
    CCustomerListDialog dialog(m_lists.Customers(), m_lists.DisableCenter(), m_lists.DisableCustomer(),
                               static_cast<ColorRef>(settings.myCustFG) & 0xFFFFFFu,
                               static_cast<ColorRef>(settings.myCustBG) & 0xFFFFFFu, m_frame);
    dialog.SetColourChooser(m_chooser);
    dialog.SetColoursChanged([this](ColorRef fg, ColorRef bg) {
        // Kept even if the dialog is cancelled; the pages take them at the
        // recheck below.
        m_frame->Settings().myCustFG = static_cast<int>(fg);
        m_frame->Settings().myCustBG = static_cast<int>(bg);
    });
    if (dialog.exec() == QDialog::Accepted) {
        m_lists.SetCustomers(dialog.Entries());
        m_lists.SetDisableCenter(dialog.DisableCenter());
        m_lists.SetDisableCustomer(dialog.DisableCustomer());
    }
    RecheckAllPages();
}

void CListsModule::EditPageList()
{
    if (m_frame == nullptr)
        return;
    const PageChecking checking = m_lists.DisablePages() ? PageChecking::Disabled : PageChecking::Enabled;
    CPageListDialog dialog(m_lists.Pages(), [this](int page) { return m_controller.GetPermission(page); }, checking,
                           m_frame);
    CMessageService& messages = m_frame->Messages();
    dialog.SetRefusal([&messages](QWidget* parent) {
        messages.Show(parent, QString::fromUtf8(kNoPermissionCaption), QString::fromUtf8(kNoPermissionText),
                      CMessageService::Icon::Error, CMessageService::Buttons::Ok);
    });
    if (dialog.exec() == QDialog::Accepted) {
        m_lists.SetPages(dialog.Pages());
        m_lists.SetDisablePages(dialog.DisablePages());
    }
    RecheckAllPages();
}

void CListsModule::ShowPagePermission()
{
    if (m_permission)
        m_permission->ShowPermissions();
}

void CListsModule::ShowVolumeReport()
{
    if (m_frame == nullptr)
        return;
    if (!m_report) {
        m_report = new CVolumeReportWindow(m_feed, m_frame->Messages(), kSettingsRoot, m_frame);
        m_report->setAttribute(Qt::WA_DeleteOnClose);
        m_report->setWindowFlag(Qt::Tool);
    }
    m_report->show();
    m_report->raise();
    m_report->activateWindow();
}

} // namespace mavo
