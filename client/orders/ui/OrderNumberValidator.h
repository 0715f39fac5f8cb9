// COrderNumberValidator: the rate and quantity fields of the order windows
// take only what AcceptsOrderNumberTyping allows, so a letter is refused
// as it is typed instead of leaving a field that only greys out Confirm.
//
// Thread-safety: the window thread only.
#pragma once

#include <QValidator>

namespace mavo {

class COrderNumberValidator : public QValidator {
    Q_OBJECT
public:
    explicit COrderNumberValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& position) const override;
};

} // namespace mavo
