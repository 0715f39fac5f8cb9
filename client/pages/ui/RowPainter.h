// Executes the paint operations of page rows (RowCells.h) with a QPainter,
// and the Qt side of the page fonts: the page font and the 80% small font
// made from a page format's logical-font record, and their measures for
// the row layout. The own-level indicator strips are drawn here once per
// size and kept.
//
// Thread-safety: the window thread (or any one thread that paints into an
// image or a printer).
#pragma once

#include "pages/BlinkTracker.h"
#include "pages/PageFormat.h"
#include "pages/RowCells.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <QRect>

#include <array>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;

namespace mavo {

inline QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// The font of a logical-font record; pixelScale multiplies its size (a
// printer's resolution over the screen's).
QFont FontFromLogFont(const LogFont& font, double pixelScale = 1.0);
// The page font as a font dialog should open on it: the family the page
// really shows (a record without a face name shows the default family),
// at its pixel size.
QFont FontForDialog(const LogFont& font);
// The same font sized in points at 96 pixels an inch, as a font dialog
// shows sizes; LogFontFromFont of it gives the pixel height back.
QFont InPoints(const QFont& font);
// The font's record as a page format stores it (face, pixel height, weight,
// italic, underline, strike-out).
LogFont LogFontFromFont(const QFont& font);

// Measures of a Qt font for the row layout.
class CQtFontMeasure : public CFontMeasure {
public:
    // device: the device the rows are drawn on (null: the screen).
    explicit CQtFontMeasure(const QFont& font, QPaintDevice* device = nullptr);
    int AverageCharWidth() const override;
    int TextWidth(std::string_view text) const override;
    int Height() const override;
    int InternalLeading() const override;

private:
    QFont m_font;
    QFontMetrics m_metrics;
};

// The page font and the small font (80% of its height) of a format.
struct RowFonts {
    QFont page;
    QFont small;
    static RowFonts For(const LogFont& font, double pixelScale = 1.0, QPaintDevice* device = nullptr);
};

// The pictures of the own-level indicator strips: five cells, levels 1..5,
// one strip per row-height class, normal and high contrast.
class COwnLevelStrips {
public:
    const QPixmap& Strip(int size, bool highContrast);

private:
    std::array<QPixmap, 6> m_strips;
};

// Measures of the two row fonts on one device, each made when first asked
// for: only a number's fit needs them.
class CRowMeasures {
public:
    CRowMeasures(const RowFonts& fonts, QPaintDevice* device) : m_fonts(fonts), m_device(device) {}
    const CQtFontMeasure& For(bool small);

private:
    const RowFonts& m_fonts;
    QPaintDevice* m_device;
    std::optional<CQtFontMeasure> m_page;
    std::optional<CQtFontMeasure> m_small;
};

// Draws one operation.
void PaintOperation(QPainter& painter, const PaintOp& op, const RowFonts& fonts, COwnLevelStrips& strips,
                    CRowMeasures& measures);

// Registers the blinking cells of the operations with the tracker.
void RegisterBlinks(CBlinkTracker& tracker, const std::vector<PaintOp>& ops);

// Draws the operations in order. Blinking cells are registered with the
// tracker when one is given.
void PaintRow(QPainter& painter, const std::vector<PaintOp>& ops, const RowFonts& fonts, COwnLevelStrips& strips,
              CBlinkTracker* tracker = nullptr);

} // namespace mavo
