// CChildFrame: a page window in the main window's MDI area, holding one
// CMAVOView. Three frame styles: 0 "Title Bar" (caption, system menu,
// minimise box), 1 "Border Only" (a border, no caption), 2 "Frameless";
// the document title is the caption in all three. Switching to another
// style keeps the window where it is, names it "style # N" and activates
// it; switching to the current style does nothing.
//
// Closing asks the document first: while order entry is on and a listed
// line holds one of the user's own orders, "Please remove your orders\n
// before closing this page" is shown and the window stays; otherwise "Are
// you sure you want to close <title>?" and only Yes closes. A close forced
// by the application (CloseWithoutAsking) asks nothing.
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/WindowPlacement.h"
#include "pages/ui/PageMessages.h"

#include <QMdiSubWindow>

namespace mavo {

class CMAVOView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr int kTitleBar = 0;
    static constexpr int kBorderOnly = 1;
    static constexpr int kFrameless = 2;

    CChildFrame(CMAVOView* view, PageAsker asker, QWidget* parent = nullptr);

    CMAVOView* View() const { return m_view; }
    int FrameStyle() const { return m_style; }
    // False when the window already has the style (or it is no style).
    bool SetFrameStyle(int style);

    // Makes the client area exactly the view's size hint; from then on the
    // window follows its content again.
    void FitToView();
    // True when the window's size is one the user chose (a restored
    // placement, Tile, Cascade, a drag of the border) rather than the last
    // fit: lines arriving from the feed then rescale the rows inside it
    // instead of resizing it.
    bool IsPlaced() const;

    // The frame's own geometry (its caption and border included), in the
    // MDI area's coordinates, so that applying a saved placement gives back
    // exactly the window that was saved.
    WindowPlacement Placement() const;
    void ApplyPlacement(const WindowPlacement& placement);

    // Closes without the questions (the application is ending).
    void CloseWithoutAsking();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplyStyleFlags();

    CMAVOView* m_view;
    PageAsker m_ask;
    int m_style = kTitleBar;
    bool m_forceClose = false;
    bool m_placed = false;
    QSize m_fittedSize;
};

} // namespace mavo
