// The query command's pieces: time texts, output formats and the text
// pattern, shared by query and tail.
//
// Contract
// - ParseTime takes seconds since 1970, or a UTC date "YYYY-MM-DD" with an
//   optional time "HH:MM" or "HH:MM:SS" after a 'T' or a space and an
//   optional 'Z'; false for anything else (and for dates that do not exist).
// - FormatTime gives "YYYY-MM-DDTHH:MM:SSZ" (UTC).
// - Line: the library's record line (every field ends in the byte 0x16),
//   verbose (with time, counter, application and host). CSV: RFC 4180 with
//   a header line, every field quoted when it holds a comma, a quote or a
//   line end. JSON: one object per line, texts escaped (\" \\ \uXXXX for
//   control bytes).
// - None of this depends on the process locale.
//
// Thread-safety: plain functions; re-entrant.
#pragma once

#include "LogStore.h"

#include <string>

namespace logd {

enum class Format { Line, Csv, Json };

bool ParseTime(const std::string& text, long long& seconds);
std::string FormatTime(long long seconds);
bool ParseFormat(const std::string& text, Format& format);
// Severity as a number or one of I, W, E, D.
bool ParseSeverity(const std::string& text, int& severity);

std::string CsvHeader();
std::string FormatRecord(const Record& record, Format format);

} // namespace logd
