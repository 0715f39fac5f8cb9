// A message built in one expression: its type, page and line, then its
// fields as id, value, id, value... in the order they are to travel.
#pragma once

#include "zph/ZPHMessage.h"

namespace zphtest {

inline void AddFields(ZPH::ZPHMessage&) {}

template <typename Value, typename... Rest>
void AddFields(ZPH::ZPHMessage& msg, int id, const Value& value, const Rest&... rest)
{
    msg.AddField(id, value);
    AddFields(msg, rest...);
}

template <typename... Fields>
ZPH::ZPHMessage Msg(char type, int page, int line, const Fields&... fields)
{
    ZPH::ZPHMessage msg(type, page, line);
    AddFields(msg, fields...);
    return msg;
}

} // namespace zphtest
