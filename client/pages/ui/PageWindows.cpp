#include "pages/ui/PageWindows.h"

#include "Brindle/base/RegSection.h"
#include "core/PageBounds.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/NewPageDialog.h"
#include "pages/ui/PagePrinter.h"

#include <QInputDialog>
#include <QMdiArea>
#include <QPrintDialog>
#include <QPrinter>

namespace mavo {

CPageWindows::CPageWindows(CPageFeed& feed, CPageEnvironment& environment, QMdiArea* area, PageAsker asker,
                           std::string settingsRoot)
    : m_feed(feed), m_env(environment), m_area(area), m_ask(asker ? std::move(asker) : DefaultPageAsker()),
      m_root(std::move(settingsRoot))
{
}

CPageWindows::~CPageWindows()
{
    // The frames belong to the MDI area; views must go before their
    // documents, so every window goes now.
    for (CChildFrame* frame : Frames())
        delete frame;
    m_docs.clear();
}

std::vector<CMAVODoc*> CPageWindows::Documents() const
{
    std::vector<CMAVODoc*> docs;
    for (const auto& doc : m_docs)
        docs.push_back(doc.get());
    return docs;
}

std::vector<CChildFrame*> CPageWindows::Frames() const
{
    std::vector<CChildFrame*> frames;
    for (const auto& doc : m_docs)
        for (CDocumentView* view : doc->Views())
            if (auto* v = dynamic_cast<CMAVOView*>(view); v != nullptr && v->Frame() != nullptr)
                frames.push_back(v->Frame());
    return frames;
}

CChildFrame* CPageWindows::ActiveFrame() const
{
    if (!m_area)
        return nullptr;
    return qobject_cast<CChildFrame*>(m_area->activeSubWindow());
}

CChildFrame* CPageWindows::FrameOf(const CMAVODoc* document) const
{
    if (document == nullptr)
        return nullptr;
    for (CDocumentView* view : document->Views())
        if (auto* v = dynamic_cast<CMAVOView*>(view); v != nullptr && v->Frame() != nullptr)
            return v->Frame();
    return nullptr;
}

void CPageWindows::OpenLineWindow(unsigned key, std::optional<QPoint> at, bool open)
{
    if (open)
        m_lastOpenWasInformation = m_feed.IsFullView();
    const CMAVOView::LineWindowHandler& handler = m_lastOpenWasInformation ? m_lineInformation : m_tradeWindow;
    if (handler)
        handler(key, at, open);
}

CChildFrame* CPageWindows::MakeWindow(CMAVODoc& document)
{
    auto* view = new CMAVOView(document, m_env);
    view->SetLineWindowHandler([this](unsigned key, std::optional<QPoint> at, bool open) { OpenLineWindow(key, at, open); });
    view->SetHoverHandler([this](unsigned key, int column, QPoint at) {
        if (m_infoTip)
            m_infoTip(key, column, at);
    });
    if (m_contextMenu)
        view->SetContextMenuFiller(m_contextMenu);
    auto* frame = new CChildFrame(view, m_ask);
    if (m_area)
        m_area->addSubWindow(frame);
    // The document goes with its last view.
    connect(view, &QObject::destroyed, this, [this] { Prune(); });
    return frame;
}

void CPageWindows::Prune()
{
    const auto before = m_docs.size();
    m_docs.erase(std::remove_if(m_docs.begin(), m_docs.end(), [](const auto& doc) { return doc->Views().empty(); }),
                 m_docs.end());
    if (m_docs.size() != before)
        emit DocumentsChanged();
}

CChildFrame* CPageWindows::OpenPage(int page)
{
    if (!IsPageNumber(page))
        return nullptr;
    if (!m_feed.GetPermission(page)) {
        m_ask(m_area, QString::fromUtf8(kNoPermissionCaption), QString::fromUtf8(kNoPermissionText),
              PageMessageKind::Stop);
        return nullptr;
    }
    for (const auto& doc : m_docs) {
        if (doc->GetPage() == page) {
            CChildFrame* frame = FrameOf(doc.get());
            if (frame != nullptr && m_area)
                m_area->setActiveSubWindow(frame);
            return frame;
        }
    }
    auto doc = std::make_unique<CMAVODoc>(m_feed);
    doc->NewPage(page, CMAVODoc::TitleFor(page, m_feed.Cache()));
    CMAVODoc& ref = *doc;
    m_docs.push_back(std::move(doc));
    CChildFrame* frame = MakeWindow(ref);
    frame->View()->InitialUpdate(m_root);
    frame->show();
    frame->View()->FitFrame();
    ref.RequestPages();
    ref.UpdateAllViews();
    emit DocumentsChanged();
    return frame;
}

CChildFrame* CPageWindows::NewPageCommand(QWidget* parent)
{
    CNewPageDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return OpenPage(dialog.Page());
}

CChildFrame* CPageWindows::LoadDocument(const Brindle::CRegSection& section)
{
    auto doc = std::make_unique<CMAVODoc>(m_feed);
    doc->Load(section);
    CMAVODoc& ref = *doc;
    m_docs.push_back(std::move(doc));
    CChildFrame* first = nullptr;
    const std::vector<std::string> views = CMAVODoc::ViewSectionNames(section);
    for (const std::string& name : views) {
        CChildFrame* frame = MakeWindow(ref);
        frame->View()->InitialUpdate(m_root);
        frame->show();
        frame->View()->LoadView(Brindle::CRegSection(section, ("Views/" + name).c_str()));
        if (first == nullptr)
            first = frame;
    }
    // A page saved without a view still gets its window.
    if (views.empty()) {
        first = MakeWindow(ref);
        first->View()->InitialUpdate(m_root);
        first->show();
        first->View()->FitFrame();
    }
    // Every page the saved lines come from, not only a whole page's.
    ref.RequestPages();
    emit DocumentsChanged();
    return first;
}

bool CPageWindows::SaveDocuments(const Brindle::CRegSection& documents)
{
    bool ok = documents.IsOpen() != 0;
    for (std::size_t i = 0; i < m_docs.size(); ++i) {
        Brindle::CRegSection section(documents, std::to_string(i).c_str());
        ok = section.IsOpen() && m_docs[i]->Save(section) && ok;
    }
    return ok;
}

void CPageWindows::OnFlashTick(int count)
{
    m_env.flashCount = count;
    FollowUserLevel();
    for (CChildFrame* frame : Frames())
        frame->View()->OnFlashTick(count);
}

void CPageWindows::OnFeedState(FeedState state)
{
    std::string notice = FeedNoticeFor(state);
    if (notice == m_env.feedNotice)
        return;
    m_env.feedNotice = std::move(notice);
    for (CChildFrame* frame : Frames())
        frame->View()->List()->update();
}

void CPageWindows::OnPageTitle(int page)
{
    const PageRef info = m_feed.Cache().GetPage(page);
    if (!info || info->m_title.empty())
        return;
    for (const auto& doc : m_docs)
        if (doc->GetPage() == page)
            doc->SetTitle(info->m_title);
}

void CPageWindows::RecheckPages()
{
    for (CChildFrame* frame : Frames()) {
        if (!frame->View()->Document().IsReady())
            continue;
        CPageList* list = frame->View()->List();
        const int before = list->PageNominalWidth();
        list->Relayout();
        if (list->PageNominalWidth() != before && !frame->IsPlaced())
            frame->View()->FitFrame();
    }
    FollowUserLevel();
}

void CPageWindows::FollowUserLevel()
{
    // Level 0: no user yet. The first level after start-up is not a change:
    // the saved windows keep the placement they were saved with.
    if (m_feed.UserLevel() == 0)
        return;
    const bool fullView = m_feed.IsFullView();
    if (!m_fullView) {
        m_fullView = fullView;
        return;
    }
    if (*m_fullView == fullView)
        return;
    m_fullView = fullView;
    // Other cells: laid out again as a format change lays them out.
    for (CChildFrame* frame : Frames()) {
        frame->View()->List()->Relayout();
        frame->View()->FitFrame();
    }
}

void CPageWindows::RequestPages()
{
    for (const auto& doc : m_docs)
        doc->RequestPages();
}

void CPageWindows::CloseAll()
{
    for (CChildFrame* frame : Frames())
        delete frame;
    Prune();
}

bool CPageWindows::Print(QPagedPaintDevice& device, const std::vector<const CMAVODoc*>& documents) const
{
    return PrintDocuments(device, documents, m_printFormat, m_env, m_feed);
}

void CPageWindows::PrintPageCommand(QWidget* parent)
{
    if (m_docs.empty())
        return;
    QStringList titles;
    for (const auto& doc : m_docs)
        titles << QString::fromStdString(doc->GetTitle());
    // The page the user is on comes chosen.
    int current = 0;
    if (CChildFrame* active = ActiveFrame())
        for (std::size_t i = 0; i < m_docs.size(); ++i)
            if (&active->View()->Document() == m_docs[i].get())
                current = static_cast<int>(i);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, QStringLiteral("Print Page"),
                                                 QStringLiteral("Print which document?"), titles, current, false, &ok);
    if (!ok)
        return;
    // Two pages may bear one title: the choice's position decides.
    auto index = titles.indexOf(chosen);
    if (chosen == titles.value(current))
        index = current;
    if (index < 0)
        return;
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Print(printer, {m_docs[static_cast<std::size_t>(index)].get()});
}

void CPageWindows::PrintAllPagesCommand(QWidget* parent)
{
    if (m_docs.empty())
        return;
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::vector<const CMAVODoc*> docs;
    for (const auto& doc : m_docs)
        docs.push_back(doc.get());
    Print(printer, docs);
}

} // namespace mavo
