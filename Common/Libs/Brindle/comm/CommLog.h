// The one place where the communication engine writes to the library log.
//
// Every record of the engine (broken layer links, connect attempts, bind
// and membership failures) goes through these two calls, so that where the
// records end up is decided here and nowhere else: CLog::Log for records,
// lstr for stream lines; dropped while no logger is registered.
//
// Thread-safety: both calls may be made from any thread at once.
#pragma once

#include <string>

namespace Brindle::CommLog {

// Severity of the engine's own failures (broken links, refused sends).
inline constexpr int SEVERITY_COMM = -1;

// One record: severity, the component's class name as source, the text.
void Write(int severity, const char* sourceName, const std::string& text);

// One line through the library's log text stream (records built with
// stream insertions: the datagram binding reports).
void Stream(const std::string& text);

// A receiver that gets every record instead of the library log (CLog and
// lstr; null restores it), for a program or a test that wants the engine's
// records apart. Stream lines arrive with severity 0 and an empty source.
using RecordSink = void (*)(int severity, const char* sourceName, const std::string& text);
void SetRecordSink(RecordSink sink);

} // namespace Brindle::CommLog
