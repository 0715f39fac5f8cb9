// CMAVOView: the view of a page document inside its page window. It owns
// the window's page format and the page list, and is the document's
// CDocumentView.
//
// Feed updates: the view's key client (CKeyWakeup) hears every changed key
// on a feed thread; there it only queues the key and, for the first one
// waiting, posts one wake-up event. On the window thread the wake-up asks
// for the next screen frame (CNextFrame); at the frame the view takes every
// key that waits by then and repaints the rows that show it (every row,
// when a page lists a key twice). A flood of updates therefore never grows
// the event queue, and wakes and paints a window at most once a frame.
//
// Mouse: a left press drags the whole page window inside the MDI area while
// the windows are not anchored; when they are anchored with info click on,
// a press on a field line opens the line's window and the release closes
// it; a double click opens it at its own place. The line windows belong to
// other modules, which install LineWindowHandler. A move while no drag is
// in progress tells the HoverHandler the line and column kind under the
// pointer (info tips); leaving the list, or a press, tells it none.
//
// Persistence: SaveView writes the page format, "Window Placement" and
// "FrameStyle"; LoadView reads them back (FrameStyle first).
//
// Thread-safety: the window thread, except the key client's call-back.
#pragma once

#include "core/ui/NextFrame.h"
#include "pages/MAVODoc.h"
#include "pages/PageEnvironment.h"
#include "pages/PageFormat.h"
#include "pages/ui/KeyWakeup.h"
#include "pages/ui/PageList.h"

#include <QEvent>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QMenu;

namespace mavo {

class CChildFrame;

class CMAVOView : public QWidget, public CDocumentView {
    Q_OBJECT
public:
    CMAVOView(CMAVODoc& document, CPageEnvironment& environment, QWidget* parent = nullptr);
    ~CMAVOView() override;

    CMAVODoc& Document() const { return m_doc; }
    CPageList* List() const { return m_list; }
    CChildFrame* Frame() const;

    // Loads the format from the default style below the settings root,
    // fills the list, sizes the list and the frame.
    void InitialUpdate(const std::string& settingsRoot);

    const CPageFormat& Format() const { return m_format; }
    // Takes a new format: widths again, list and frame resized, repainted.
    void SetFormat(const CPageFormat& format);
    // The list's nominal size; the frame fits its client area to it.
    QSize sizeHint() const override;
    // Sizes the list to its nominal size and the frame around it.
    void FitFrame();

    void OnFlashTick(int count);

    // ---- CDocumentView
    void OnLinesChanged() override;
    void OnRedraw() override;
    void OnTitleChanged() override;
    bool SaveView(const Brindle::CRegSection& section) override;
    // FrameStyle (applied), the page format, then the placement.
    void LoadView(const Brindle::CRegSection& section);

    // at: where the pointer is for a click, none for a double click (the
    // window's own place). open false closes the window (button released).
    using LineWindowHandler = std::function<void(unsigned key, std::optional<QPoint> at, bool open)>;
    void SetLineWindowHandler(LineWindowHandler handler) { m_lineWindow = std::move(handler); }
    // key 0 and COL_NOTHING: the pointer is over no cell (or left).
    using HoverHandler = std::function<void(unsigned key, int column, QPoint screenPosition)>;
    void SetHoverHandler(HoverHandler handler) { m_hover = std::move(handler); }
    using ContextMenuFiller = std::function<void(QMenu* menu)>;
    void SetContextMenuFiller(ContextMenuFiller filler) { m_contextMenu = std::move(filler); }

    // Rows repainted because of feed updates, frames that took keys, keys
    // waiting now (tests, measurements).
    int UpdatesApplied() const { return m_updatesApplied; }
    int WakeUps() const { return m_wakeUps; }
    std::size_t KeysWaiting() const { return m_keys.Waiting(); }

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ApplyKeyUpdates(const std::vector<unsigned>& keys);
    void OnMouse(QMouseEvent* event, QEvent::Type type);
    bool IsFieldLine(int row) const;

    CMAVODoc& m_doc;
    CPageFeed& m_feed;
    CPageEnvironment& m_env;
    CPageFormat m_format;
    CPageList* m_list;
    CKeyWakeup m_keys;
    CNextFrame m_frame;
    bool m_registered = false;
    LineWindowHandler m_lineWindow;
    HoverHandler m_hover;
    ContextMenuFiller m_contextMenu;
    int m_updatesApplied = 0;
    int m_wakeUps = 0;

    // Dragging the frame.
    bool m_dragging = false;
    QPoint m_dragStartGlobal;
    QPoint m_dragStartFrame;
    bool m_infoOpen = false;
};

} // namespace mavo
