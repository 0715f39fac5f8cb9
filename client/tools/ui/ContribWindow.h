// CContribWindow: the modeless, resizable "Client Contributions" window: a
// list of the notifications received, each "%H:%M:%S\t%s" with the local
// time, the text at a tab stop of 40 dialog units (line breaks kept). It
// never holds more than 200 entries: the oldest goes before a new one is
// added; the list scrolls to each new entry and keeps its margins to the
// window's edges when the window is resized.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

#include <string>

class QListWidget;

namespace mavo {

class CContribWindow : public QDialog {
    Q_OBJECT
public:
    explicit CContribWindow(QWidget* parent = nullptr);

    // A notification now, stamped with the local time.
    void AddNotification(const std::string& text);
    // An entry as it stands ("time\ttext").
    void AddEntry(const std::string& entry);

    int EntryCount() const;
    std::string Entry(int index) const;
    QListWidget* List() const { return m_list; }

private:
    QListWidget* m_list = nullptr;
};

} // namespace mavo
