// The "Modify Page List" dialog: the pages as "%d", the page field with its
// spin control (1..300), "Add" and "Remove" enabled by CPageListEditor, and
// (for the user's page list, not for a report) "Disable page checking".
//
// "Add" takes a page only when the feed lets the user see it; otherwise
// the refusal handler shows the no-permission message. OK leaves the pages
// and the switch for the caller (Pages, DisablePages).
//
// Thread-safety: the window thread only.
#pragma once

#include "lists/ListEditors.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace mavo {

// "Disable page checking": not shown (a report's pages), or shown and
// ticked or not.
enum class PageChecking { NoBox, Enabled, Disabled };

class CPageListDialog : public QDialog {
    Q_OBJECT
public:
    CPageListDialog(const std::vector<int>& pages, CPageListEditor::PermissionTest permitted, PageChecking checking,
                    QWidget* parent = nullptr);

    // Shows the no-permission message (parent: this dialog).
    void SetRefusal(std::function<void(QWidget* parent)> refusal) { m_refusal = std::move(refusal); }

    std::vector<int> Pages() const { return m_editor.Pages(); }
    bool DisablePages() const;

    QListWidget* List() const { return m_list; }
    QSpinBox* Page() const { return m_page; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    // Null when the dialog has no page-checking box.
    QCheckBox* DisableChecking() const { return m_disable; }

private:
    void ShowEditor();

    CPageListEditor m_editor;
    QListWidget* m_list;
    QSpinBox* m_page;
    QPushButton* m_add;
    QPushButton* m_remove;
    QCheckBox* m_disable = nullptr;
    std::function<void(QWidget*)> m_refusal;
    bool m_showing = false;
};

} // namespace mavo
