// CSendPageCountDialog: the modal "Send Page Count" dialog (full view
// only): the pages the feed counts, one entry "%d %d" (page, count) each,
// ordered by count, then by page. It only displays.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

namespace mavo {

class CSendPageCountDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSendPageCountDialog(const std::vector<std::string>& entries, QWidget* parent = nullptr);

    QListWidget* List() const { return m_list; }

private:
    QListWidget* m_list = nullptr;
};

} // namespace mavo
