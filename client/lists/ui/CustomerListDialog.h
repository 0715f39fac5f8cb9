// The "Customer List" dialog: the user's customers as "%d\t%s" (number,
// centre name), the number field (at most 4 characters) and the centre
// combo box, "Add" and "Remove" enabled by CCustomerListEditor, the two
// colour switches, and "FG" / "BG" with the "123" sample in the my-customer
// colours.
//
// "FG" and "BG" ask the colour chooser and hand the chosen colour on at
// once (ColoursChanged): colours are kept even when the dialog is
// cancelled. OK leaves the entries and switches for the caller to take
// (Entries, DisableCenter, DisableCustomer); Cancel changes nothing else.
//
// Thread-safety: the window thread only.
#pragma once

#include "lists/ListEditors.h"
#include "pages/ColorScheme.h"

#include <QColor>
#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace mavo {

class CCustomerListDialog : public QDialog {
    Q_OBJECT
public:
    // Asks the user for a colour, starting at `initial`; nothing when
    // cancelled.
    using ColourChooser = std::function<std::optional<ColorRef>(QWidget* parent, ColorRef initial)>;
    // The my-customer colours after "FG" or "BG".
    using ColoursChanged = std::function<void(ColorRef fg, ColorRef bg)>;

    CCustomerListDialog(const std::vector<CustomerEntry>& entries, bool disableCenter, bool disableCustomer,
                        ColorRef myCustFG, ColorRef myCustBG, QWidget* parent = nullptr);

    void SetColourChooser(ColourChooser chooser) { m_chooser = std::move(chooser); }
    void SetColoursChanged(ColoursChanged changed) { m_coloursChanged = std::move(changed); }

    // The entries in list order.
    std::vector<CustomerEntry> Entries() const;
    bool DisableCenter() const;
    bool DisableCustomer() const;
    ColorRef SampleFG() const { return m_fg; }
    ColorRef SampleBG() const { return m_bg; }

    QListWidget* List() const { return m_list; }
    QLineEdit* Number() const { return m_number; }
    QComboBox* Centre() const { return m_centre; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* FgButton() const { return m_fgButton; }
    QPushButton* BgButton() const { return m_bgButton; }
    QLabel* Sample() const { return m_sample; }

private:
    void ShowEditor();
    void Choose(bool foreground);
    void PaintSample();

    CCustomerListEditor m_editor;
    QListWidget* m_list;
    QLineEdit* m_number;
    QComboBox* m_centre;
    QPushButton* m_add;
    QPushButton* m_remove;
    QCheckBox* m_disableCenter;
    QCheckBox* m_disableCustomer;
    QPushButton* m_fgButton;
    QPushButton* m_bgButton;
    QLabel* m_sample;
    ColorRef m_fg;
    ColorRef m_bg;
    ColourChooser m_chooser;
    ColoursChanged m_coloursChanged;
    bool m_showing = false;
};

} // namespace mavo
