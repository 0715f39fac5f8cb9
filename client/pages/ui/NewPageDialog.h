// The "Add New Page" dialog: "What page?" with a number field and spin
// control limited to 1..300 and the buttons "+10" and "-10". It starts with
// the last page entered in this run (1 at first) and remembers the value
// when it closes with OK.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

class QSpinBox;
class QPushButton;

namespace mavo {

class CNewPageDialog : public QDialog {
    Q_OBJECT
public:
    explicit CNewPageDialog(QWidget* parent = nullptr);

    int Page() const;
    void SetPage(int page);
    QPushButton* PlusTen() const { return m_plus; }
    QPushButton* MinusTen() const { return m_minus; }

    // The page last entered in this run.
    static int LastPage();
    static void SetLastPage(int page);

    void accept() override;

private:
    QSpinBox* m_page;
    QPushButton* m_plus;
    QPushButton* m_minus;
};

} // namespace mavo
