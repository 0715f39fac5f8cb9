// What widgets show, gathered to be compared whole: a button's, label's or
// edit field's text, a combo box's current item, else the window title; a
// tree row's columns; and which widgets are enabled or checked.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <QWidget>

#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

using Texts = std::vector<std::string>;
using Flags = std::vector<bool>;

inline std::string TextOf(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text().toStdString();
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text().toStdString();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text().toStdString();
    if (const auto* box = qobject_cast<const QComboBox*>(widget))
        return box->currentText().toStdString();
    return widget->windowTitle().toStdString();
}

inline Texts TextsOf(std::initializer_list<const QWidget*> widgets)
{
    Texts texts;
    for (const QWidget* widget : widgets)
        texts.push_back(TextOf(widget));
    return texts;
}

// Every column's text of a row.
inline Texts TextsOf(const QTreeWidgetItem* item)
{
    Texts texts;
    for (int column = 0; column < item->columnCount(); ++column)
        texts.push_back(item->text(column).toStdString());
    return texts;
}

inline Flags EnabledOf(std::initializer_list<const QWidget*> widgets)
{
    Flags flags;
    for (const QWidget* widget : widgets)
        flags.push_back(widget->isEnabled());
    return flags;
}

inline Flags CheckedOf(std::initializer_list<const QAbstractButton*> buttons)
{
    Flags flags;
    for (const QAbstractButton* button : buttons)
        flags.push_back(button->isChecked());
    return flags;
}

} // namespace testsupport
