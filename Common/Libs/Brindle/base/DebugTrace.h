// DebugTrace: printf-style diagnostics for a developer watching the program.
//
// Contract
// - The text is formatted in the "C" locale into a buffer of its own, of
//   whatever length it needs: nothing is cut, nothing is shared between
//   threads.
// - When standard error is a terminal the text goes there as it is, in one
//   write. Otherwise it goes to the system log (Platform/Syslog.h) at debug
//   level, facility user, ident = the application name; there line ends and
//   control bytes become spaces.
// - A format the C library cannot use, and every write failure, are ignored.
//
// Thread-safety: may be called from any thread at once.
#pragma once

namespace Brindle {

void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace Brindle
