// The server's log: one line per event on stderr, stamped with the local
// time ("2024-06-11 12:00:00.123 zphd: text"). Debug lines (every message)
// appear only when verbose logging is on.
//
// Thread-safety: any thread; lines never interleave.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zphd {

void Log(std::string_view text);
void LogDebug(std::string_view text);
void SetVerbose(bool on);
bool Verbose();
// Nothing but errors (for tests that start many servers).
void SetQuiet(bool on);
void LogError(std::string_view text);
// At most max characters of a text from outside, for a log line or a reply.
std::string Cut(std::string_view text, std::size_t max = 60);

} // namespace zphd
