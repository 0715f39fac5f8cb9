// The feed protocol's codec: a ZPHMessage to and from its text form (the
// library's message text form, see Protocol.h), and the login proof of the
// database source.
//
// Encode refuses (false, output untouched) a message that cannot travel: a
// type that is not a printable character, a negative field id, a text that
// holds a delimiter byte, more than MAX_FIELDS fields, or a text form longer
// than MAX_FRAME_SIZE. Decode refuses (false) anything but one well-formed
// message within those limits: wrong header, a type that is not one
// printable character, a page, line or field id that is not a decimal
// number. Neither allocates more than the limits allow.
//
// Free functions without shared state; any thread.
#pragma once

#include "protocol/Protocol.h"
#include "zph/ZPHMessage.h"

#include <string>
#include <string_view>

namespace ZPHWire {

bool Encode(const ZPH::ZPHMessage& msg, std::string& out);
std::string Encode(const ZPH::ZPHMessage& msg);  // empty when refused

// On false, `error` (when given) says why and msg holds nothing useful.
bool Decode(std::string_view frame, ZPH::ZPHMessage& msg, std::string* error = nullptr);

// A fresh nonce for 'G': 32 lowercase hex digits from the system's random source.
std::string MakeNonce();

// The database source's proof of its password for one connection: the
// lowercase hex HMAC-SHA256, keyed with the password, of the nonce text
// followed by the user name.
std::string LoginProof(std::string_view nonce, std::string_view user, std::string_view password);

// Compares two proofs in time independent of where they differ.
bool ProofEquals(std::string_view a, std::string_view b);

} // namespace ZPHWire
