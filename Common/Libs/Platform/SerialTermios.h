// The mapping between a DCB and the kernel's termios2 record, on its own so
// that it can be checked without a device (pseudo-terminals force 8 data
// bits and no parity, so a device cannot show those two).
//
// This header brings in <asm/termbits.h>, which cannot share a translation
// unit with <termios.h>; only the comm layer and its tests include it.
//
// Thread-safety: pure functions.
#pragma once

#include "Platform/Serial.h"

#include <asm/termbits.h>

// Writes the DCB's line settings into t: rate (a B-constant where the kernel
// has one, otherwise BOTHER with the exact rate), data bits, parity, stop
// bits, RTS/CTS and XON/XOFF flow control, parity checking, raw binary mode.
// Bits of t that a DCB does not describe (HUPCL ...) stay as they were. The
// DCB must be valid (IsValidCommState).
void CommStateToTermios(const DCB& dcb, termios2& t);

// The DCB that t describes: the fields termios holds come from t, every
// other field from `kept` (the DCB last set).
DCB TermiosToCommState(const termios2& t, const DCB& kept);

// Whether SetCommState accepts the DCB: a rate, 5 to 8 data bits, a known
// parity and stop-bit setting in a combination a UART can make, distinct
// XON/XOFF characters when XON/XOFF flow control is on.
bool IsValidCommState(const DCB& dcb);
