// The "Page Permission" window: every page 1..300 the feed allows the user
// to see, as "%d", in four columns each a quarter of the list's width
// (filled top to bottom, then the next column). The main window makes it
// once, hidden; "Pa&ge Permission" shows it, and new permissions from the
// feed show it with the caption "New Permission Received" (without taking
// the keyboard from the window the user works in). The list is filled anew
// whenever it is shown.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

#include <functional>

class QListWidget;

namespace mavo {

class CPagePermissionWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;

    explicit CPagePermissionWindow(std::function<bool(int page)> permitted, QWidget* parent = nullptr);

    // "Pa&ge Permission".
    void ShowPermissions();
    // The feed reported new permissions.
    void NewPermissionReceived();
    void Refill();

    QListWidget* List() const { return m_list; }

private:
    void ShowWithCaption(const char* caption, bool activate);

    std::function<bool(int)> m_permitted;
    QListWidget* m_list;
};

} // namespace mavo
