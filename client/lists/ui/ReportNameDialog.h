// "Enter Report Name": asks for the name of a new report ("Please enter
// the\nname of the report:", at most 20 characters). OK is enabled only
// while the name holds something besides blanks; Name() gives it without
// surrounding blanks.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace mavo {

class CReportNameDialog : public QDialog {
    Q_OBJECT
public:
    explicit CReportNameDialog(QWidget* parent = nullptr);

    std::string Name() const;
    QLineEdit* Edit() const { return m_edit; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QLineEdit* m_edit;
    QPushButton* m_ok;
};

} // namespace mavo
