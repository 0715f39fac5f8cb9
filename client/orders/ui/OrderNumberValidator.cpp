#include "orders/ui/OrderNumberValidator.h"

#include "orders/OrderNumber.h"

namespace mavo {

QValidator::State COrderNumberValidator::validate(QString& input, int&) const
{
    return AcceptsOrderNumberTyping(input.toStdString()) ? Acceptable : Invalid;
}

} // namespace mavo
