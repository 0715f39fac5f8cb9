// CListsModule: the user's customer and page lists, the page permission
// window and the volume report in the main window (a CFrameModule).
//
// It reads the lists with the main window's initial settings ("MainFrame")
// and writes them with every save; hands the customer test and the page
// test to the page drawing (CPageEnvironment), so drawing and order entry
// use the same lists; installs "&Customer List", "&Page List", "Pa&ge
// Permission" and "Volume Report"; rechecks every page after a list
// changed; makes the Page Permission window with the main window and shows
// it, captioned "New Permission Received", when the feed sends new
// permissions. The Trade Volume Report window is made by its command and
// goes when it is closed.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"
#include "lists/UserLists.h"
#include "lists/ui/CustomerListDialog.h"
#include "lists/ui/PagePermissionWindow.h"
#include "lists/ui/VolumeReportWindow.h"
#include "pages/ControllerPageFeed.h"

#include <QPointer>

namespace mavo {

class CPageEnvironment;
class CPagesModule;
class CScreenController;

class CListsModule : public CFrameModule {
public:
    // pages: the page windows' module whose drawing uses the lists (null:
    // none in this build).
    CListsModule(CScreenController& controller, CPagesModule* pages);
    ~CListsModule() override;

    bool LoadInitialSettings(const Brindle::CRegSection& mainFrame) override;
    bool SaveMainFrameValues(const Brindle::CRegSection& mainFrame) override;
    void InstallCommands(CMainFrame& frame) override;
    void CreateWindows(CMainFrame& frame, const CMainFrameSettings& settings) override;
    void OnPermissionsLoaded() override;

    // The commands' work.
    void EditCustomerList();
    void EditPageList();
    void ShowPagePermission();
    void ShowVolumeReport();

    // The colour chooser of "FG" and "BG" (tests replace the colour dialog).
    void SetColourChooser(CCustomerListDialog::ColourChooser chooser) { m_chooser = std::move(chooser); }

    CUserLists& Lists() { return m_lists; }
    CPagePermissionWindow* PermissionWindow() const { return m_permission; }
    CVolumeReportWindow* ReportWindow() const { return m_report; }

private:
    void HandListsToPages();
    void RecheckAllPages();

    CScreenController& m_controller;
    CControllerPageFeed m_feed;
    CPagesModule* m_pages;
    CMainFrame* m_frame = nullptr;
    CUserLists m_lists;
    CCustomerListDialog::ColourChooser m_chooser;
    QPointer<CPagePermissionWindow> m_permission;
    QPointer<CVolumeReportWindow> m_report;
};

} // namespace mavo
