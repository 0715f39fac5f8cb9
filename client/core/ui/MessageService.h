// CMessageService: the message boxes of the application behind one
// replaceable object, so that a test answers them instead of a person.
// The default shows a modal QMessageBox and returns the button pressed;
// boxes that open while others are still up (notifications arriving one
// after another) cascade from the centre of their window instead of
// covering each other.
//
// Thread-safety: the window thread only.
#pragma once

#include <QMessageBox>
#include <QString>

namespace mavo {

class CMessageService {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~CMessageService() = default;
    // Shows the text under the caption and returns the answer.
    virtual int Show(QWidget* parent, const QString& caption, const QString& text, Icon icon, Buttons buttons);

private:
    int m_open = 0;  // boxes of this service up now
};

} // namespace mavo
