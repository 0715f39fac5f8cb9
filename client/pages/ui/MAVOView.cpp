#include "pages/ui/MAVOView.h"

#include "Brindle/base/RegSection.h"
#include "pages/ui/ChildFrame.h"

#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMouseEvent>

namespace mavo {

CMAVOView::CMAVOView(CMAVODoc& document, CPageEnvironment& environment, QWidget* parent)
    : QWidget(parent), m_doc(document), m_feed(document.Feed()), m_env(environment),
      m_list(new CPageList(m_feed, environment, this)), m_keys(this),
      m_frame([this] { ApplyKeyUpdates(m_keys.TakeWaiting()); })
{
    setObjectName(QStringLiteral("PageView"));
    m_list->SetMouseHandler([this](QMouseEvent* event, QEvent::Type type) { OnMouse(event, type); });
    m_doc.AddView(this);
    m_registered = m_feed.Register(&m_keys);
}

CMAVOView::~CMAVOView()
{
    // Unregister returns only when no call-back is running, so nothing
    // posts to this object once it is gone; events already posted go with it.
    if (m_registered)
        m_feed.Unregister(&m_keys);
    m_doc.RemoveView(this);
}

CChildFrame* CMAVOView::Frame() const
{
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget())
        if (auto* frame = qobject_cast<CChildFrame*>(w))
            return frame;
    return nullptr;
}

void CMAVOView::InitialUpdate(const std::string& settingsRoot)
{
    CPageFormat format;
    format.Load(Brindle::CRegSection(HKEY_CURRENT_USER, (settingsRoot + "/" + kDefaultStyleSection).c_str()));
    m_format = format;
    m_list->SetFormat(m_format);
    OnLinesChanged();
}

void CMAVOView::SetFormat(const CPageFormat& format)
{
    m_format = format;
    m_format.Normalize();
    m_list->SetFormat(m_format);
    FitFrame();
}

QSize CMAVOView::sizeHint() const
{
    const QSize nominal = m_list->NominalSize();
    return QSize(std::max(1, nominal.width()), std::max(1, nominal.height()));
}

void CMAVOView::FitFrame()
{
    // The frame measures its own parts against the view's present size, so
    // it resizes the view itself.
    if (CChildFrame* frame = Frame())
        frame->FitToView();
    else
        resize(sizeHint());
}

void CMAVOView::OnFlashTick(int count) { m_list->OnFlashTick(count); }

void CMAVOView::OnLinesChanged()
{
    m_keys.Watch(m_doc.Lines());
    m_list->SetKeys(m_doc.Lines());
    FitFrame();
}

void CMAVOView::OnRedraw()
{
    m_list->Relayout();
}

void CMAVOView::OnTitleChanged()
{
    if (CChildFrame* frame = Frame())
        frame->setWindowTitle(QString::fromStdString(m_doc.GetTitle()));
}

bool CMAVOView::SaveView(const Brindle::CRegSection& section)
{
    bool ok = m_format.Save(section);
    if (CChildFrame* frame = Frame()) {
        ok = frame->Placement().Write(section) && ok;
        ok = section.SetInt("FrameStyle", frame->FrameStyle()) != 0 && ok;
    }
    return ok;
}

void CMAVOView::LoadView(const Brindle::CRegSection& section)
{
    int style = 0;
    section.GetInt("FrameStyle", style, 0);
    CChildFrame* frame = Frame();
    if (frame != nullptr)
        frame->SetFrameStyle(style);
    CPageFormat format;
    format.Load(section);
    SetFormat(format);
    OnLinesChanged();
    if (frame != nullptr)
        frame->ApplyPlacement(WindowPlacement::Read(section));
}

void CMAVOView::customEvent(QEvent* event)
{
    if (m_keys.Received(event)) {
        m_frame.Request();
        return;
    }
    QWidget::customEvent(event);
}

void CMAVOView::ApplyKeyUpdates(const std::vector<unsigned>& keys)
{
    ++m_wakeUps;
    for (unsigned key : keys) {
        // The page's first text line makes it wider: the frame follows.
        if (m_list->NoteChangedLine(key)) {
            // A window the user placed keeps its size; the rows rescale.
            CChildFrame* frame = Frame();
            if (frame == nullptr || !frame->IsPlaced())
                FitFrame();
            continue;
        }
        for (int position : m_doc.PositionsOf(key)) {
            m_list->UpdateRow(position);
            ++m_updatesApplied;
        }
    }
}

void CMAVOView::resizeEvent(QResizeEvent* event)
{
    m_list->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void CMAVOView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_contextMenu)
        return;
    QMenu menu(this);
    m_contextMenu(&menu);
    if (menu.isEmpty())
        return;
    // From the keyboard: 5 pixels inside the window's top-left corner.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(QPoint(5, 5)) : event->globalPos();
    menu.exec(at);
}

bool CMAVOView::IsFieldLine(int row) const
{
    if (row < 0)
        return false;
    const LineRef line = m_feed.Cache().GetForRead(m_doc.GetLineKey(row));
    return line && line->m_kind == 'F';
}

void CMAVOView::OnMouse(QMouseEvent* event, QEvent::Type type)
{
    if (event == nullptr || type == QEvent::Leave) {
        if (m_hover)
            m_hover(0, COL_NOTHING, QPoint());
        return;
    }
    const int row = m_list->RowAt(event->position().toPoint().y());
    const bool anchored = m_env.options.anchored;
    const bool infoClick = anchored && m_env.options.infoOnClick;
    CChildFrame* frame = Frame();
    switch (type) {
    case QEvent::MouseButtonPress:
        if (m_hover)
            m_hover(0, COL_NOTHING, QPoint());
        if (event->button() != Qt::LeftButton)
            return;
        if (!anchored && frame != nullptr) {
            m_dragging = true;
            m_dragStartGlobal = event->globalPosition().toPoint();
            m_dragStartFrame = frame->pos();
            m_list->grabMouse();
        } else if (infoClick && IsFieldLine(row) && m_lineWindow) {
            m_infoOpen = true;
            m_lineWindow(m_doc.GetLineKey(row), event->globalPosition().toPoint(), true);
        }
        return;
    case QEvent::MouseMove:
        if (m_dragging && frame != nullptr) {
            QPoint pointer = event->globalPosition().toPoint();
            // The pointer stays inside the MDI area while it drags.
            if (QMdiArea* area = frame->mdiArea()) {
                const QRect bounds(area->viewport()->mapToGlobal(QPoint(0, 0)), area->viewport()->size());
                pointer.setX(std::clamp(pointer.x(), bounds.left(), bounds.right()));
                pointer.setY(std::clamp(pointer.y(), bounds.top(), bounds.bottom()));
            }
            frame->move(m_dragStartFrame + (pointer - m_dragStartGlobal));
        } else if (m_hover) {
            const QPoint at = event->position().toPoint();
            const unsigned key = row >= 0 ? m_doc.GetLineKey(row) : 0;
            m_hover(key, key != 0 ? m_list->HitTest(at) : COL_NOTHING, event->globalPosition().toPoint());
        }
        return;
    case QEvent::MouseButtonRelease:
        if (m_dragging) {
            m_dragging = false;
            m_list->releaseMouse();
        }
        if (m_infoOpen) {
            m_infoOpen = false;
            if (m_lineWindow)
                m_lineWindow(0, std::nullopt, false);
        }
        return;
    case QEvent::MouseButtonDblClick:
        if (!infoClick && IsFieldLine(row) && m_lineWindow)
            m_lineWindow(m_doc.GetLineKey(row), std::nullopt, true);
        return;
    default: return;
    }
}

} // namespace mavo
