// CScreenPropertiesDialog: the modal "Screen Properties" dialog. It edits
// the full-screen rectangle X, Y, CX, CY with the "Use default screen
// layout" box and the three layouts "Full", "Double One" and "Double Two"
// (the rules are CScreenLayout's), computed from the size of the screen it
// is given, which it shows as "Screen Parameters: %d x %d". While the box
// is ticked the four fields and the three buttons are disabled.
//
// The dialog changes nothing outside itself: after OK, Result() is what
// the owner stores (all -1 while the box is ticked).
//
// Thread-safety: the window thread only.
#pragma once

#include "tools/ScreenLayout.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mavo {

class CScreenPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CScreenPropertiesDialog(const FullScreenArea& area, QSize screen, QWidget* parent = nullptr);

    FullScreenArea Result() const { return m_layout.Result(); }
    const CScreenLayout& Layout() const { return m_layout; }

    QCheckBox* DefaultBox() const { return m_default; }
    // X, Y, CX, CY.
    QSpinBox* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }
    QPushButton* FullButton() const { return m_full; }
    QPushButton* DoubleOneButton() const { return m_doubleOne; }
    QPushButton* DoubleTwoButton() const { return m_doubleTwo; }
    QLabel* ScreenLabel() const { return m_screen; }

private:
    void ShowLayout();
    void TakeFields();

    CScreenLayout m_layout;
    bool m_showing = false;
    QCheckBox* m_default = nullptr;
    std::array<QSpinBox*, 4> m_fields{};
    QPushButton* m_full = nullptr;
    QPushButton* m_doubleOne = nullptr;
    QPushButton* m_doubleTwo = nullptr;
    QLabel* m_screen = nullptr;
};

} // namespace mavo
