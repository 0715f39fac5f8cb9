// CDisplayOptionsDialog: "Display Options", the six switches of the main
// window in two groups: "InfoTip" ("Bid/Offer When Rate", "Hit/Lift When
// Center", "Previous Rate", "Trade High/Low/Last/Volume") and "Other" ("Best
// Price Indicator", "Hit/Lift When Center Colors"). It only edits a
// CDisplayOptions; the caller stores the result on OK.
//
// Thread-safety: the window thread only.
#pragma once

#include "lineinfo/DisplayOptions.h"

#include <QDialog>

#include <array>

class QCheckBox;

namespace mavo {

class CDisplayOptionsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSwitches = 6;
    // The check boxes' texts in bit order.
    static constexpr std::array<const char*, kSwitches> kSwitchTexts{
        "Bid/Offer When Rate",  "Hit/Lift When Center",      "Previous Rate",
        "Trade High/Low/Last/Volume", "Best Price Indicator", "Hit/Lift When Center Colors"};

    explicit CDisplayOptionsDialog(const CDisplayOptions& options, QWidget* parent = nullptr);

    // The switches as the boxes show them now (bits the dialog does not
    // show are kept from the options it was given).
    CDisplayOptions Options() const;
    // The box of a bit (0..5).
    QCheckBox* Switch(int bit) const { return m_boxes[static_cast<std::size_t>(bit)]; }

private:
    CDisplayOptions m_given;
    std::array<QCheckBox*, kSwitches> m_boxes{};
};

} // namespace mavo
