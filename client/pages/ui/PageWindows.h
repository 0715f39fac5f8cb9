// CPageWindows: the open page documents and their windows in the main
// window's MDI area, in document order. It opens pages ("&New", with the
// permission check and the one-window-per-page rule), reopens saved pages,
// saves them, forwards the flash timer and page titles, prints, and owns the
// print format. A document lives as long as it has a view.
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/MAVODoc.h"
#include "pages/PageEnvironment.h"
#include "pages/PageFormat.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/PageMessages.h"

#include <QMdiArea>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPagedPaintDevice;

namespace Brindle {
class CRegSection;
}

namespace mavo {

class CChildFrame;

class CPageWindows : public QObject {
    Q_OBJECT
public:
    CPageWindows(CPageFeed& feed, CPageEnvironment& environment, QMdiArea* area, PageAsker asker,
                 std::string settingsRoot);
    ~CPageWindows() override;

    CPageFeed& Feed() const { return m_feed; }
    CPageEnvironment& Environment() const { return m_env; }
    QMdiArea* Area() const { return m_area; }

    // "&New" from a page number: refused with the no-permission message
    // when the user may not see the page; an open window of the page is
    // activated instead of a second one. Null when nothing opened.
    CChildFrame* OpenPage(int page);
    // Runs the "Add New Page" dialog, then OpenPage.
    CChildFrame* NewPageCommand(QWidget* parent);
    // A saved page (a subsection of "MAVO Document") with its views.
    CChildFrame* LoadDocument(const Brindle::CRegSection& section);
    // Every open document into subsections "0", "1", ... in document order.
    bool SaveDocuments(const Brindle::CRegSection& documents);

    std::vector<CMAVODoc*> Documents() const;
    std::vector<CChildFrame*> Frames() const;
    CChildFrame* ActiveFrame() const;
    CChildFrame* FrameOf(const CMAVODoc* document) const;

    // ---- events of the main window
    void OnFlashTick(int count);
    void OnPageTitle(int page);
    // Every page says on its face when the feed is stale or dead.
    void OnFeedState(FeedState state);
    // Widths again for every page (user level, lists or options changed).
    void RecheckPages();
    void RequestPages();
    // Closes every window without asking (the application ends).
    void CloseAll();

    // ---- printing
    CPageFormat& PrintFormat() { return m_printFormat; }
    void LoadPrintFormat(const Brindle::CRegSection& section) { m_printFormat.Load(section); }
    bool SavePrintFormat(const Brindle::CRegSection& section) const { return m_printFormat.Save(section); }
    // One document (chosen) or every document, one per printed page.
    bool Print(QPagedPaintDevice& device, const std::vector<const CMAVODoc*>& documents) const;
    // "&Print Page": "Print which document?" then the print dialog.
    void PrintPageCommand(QWidget* parent);
    // "Print &All Pages": the print dialog, then every document.
    void PrintAllPagesCommand(QWidget* parent);

    // The line windows a click or double click on a field line opens: the
    // trade window for a trader, the line information window in full view
    // (user level 999). The choice is made at each click, so a change of
    // user level needs no new views.
    void SetTradeWindowHandler(CMAVOView::LineWindowHandler handler) { m_tradeWindow = std::move(handler); }
    void SetLineInformationHandler(CMAVOView::LineWindowHandler handler) { m_lineInformation = std::move(handler); }
    // Pointer moves over the page lists (info tips); reaches every view,
    // those open already included.
    void SetInfoTipHandler(CMAVOView::HoverHandler handler) { m_infoTip = std::move(handler); }
    // Installed on every view made from now on.
    void SetContextMenuFiller(CMAVOView::ContextMenuFiller filler) { m_contextMenu = std::move(filler); }

    const std::string& SettingsRoot() const { return m_root; }
    PageAsker Asker() const { return m_ask; }

signals:
    void DocumentsChanged();

private:
    CChildFrame* MakeWindow(CMAVODoc& document);
    void Prune();
    // A change between full view and the trader's view re-lays and refits
    // every page window (called at every tick and recheck).
    void FollowUserLevel();
    std::optional<bool> m_fullView;

    CPageFeed& m_feed;
    CPageEnvironment& m_env;
    QPointer<QMdiArea> m_area;
    PageAsker m_ask;
    std::string m_root;
    std::vector<std::unique_ptr<CMAVODoc>> m_docs;
    CPageFormat m_printFormat;
    // Sends a click to the trade window or the line information window.
    void OpenLineWindow(unsigned key, std::optional<QPoint> at, bool open);

    CMAVOView::LineWindowHandler m_tradeWindow;
    CMAVOView::LineWindowHandler m_lineInformation;
    // The window the last open went to: its close goes there too, even if
    // the user level changed in between.
    bool m_lastOpenWasInformation = false;
    CMAVOView::ContextMenuFiller m_contextMenu;
    CMAVOView::HoverHandler m_infoTip;
};

} // namespace mavo
