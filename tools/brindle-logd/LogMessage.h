// What the log server reads from a client's message: a "Reset", or a "Log"
// whose values C (counter), T (time), S (severity), B (batch), E (last
// error) must be whole decimal numbers in range, with the texts X (source),
// H (host), A (application) and 0 (text) taken as they are.
//
// Contract
// - C is 1 to 999999, T 0 to the end of year 9999, S, B and E 32-bit; a
//   sign is allowed, nothing else around the digits (no space, no exponent).
// - A message of another kind, or a Log that breaks a rule, is refused with
//   a reason; the record is then unchanged.
//
// Thread-safety: plain functions; re-entrant.
#pragma once

#include "LogStore.h"

#include "Brindle/comm/Msg.h"

#include <string>

namespace logd {

enum class MessageKind { Reset, Log, Refused };

MessageKind ReadMessage(const Brindle::CMsg& msg, Record& record, std::string& why);

} // namespace logd
