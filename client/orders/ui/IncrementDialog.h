// "Change Increment": the six increment choices as radio buttons, the
// current one checked; OK gives the chosen index.
//
// Thread-safety: the window thread only.
#pragma once

#include <QDialog>

#include <vector>

class QRadioButton;

namespace mavo {

class CIncrementDialog : public QDialog {
    Q_OBJECT
public:
    CIncrementDialog(int current, QWidget* parent = nullptr);

    int Chosen() const;
    void Choose(int index);
    const std::vector<QRadioButton*>& Choices() const { return m_choices; }

    // Runs the dialog: the chosen index, or -1 when cancelled.
    static int Run(QWidget* parent, int current);

private:
    std::vector<QRadioButton*> m_choices;
};

} // namespace mavo
