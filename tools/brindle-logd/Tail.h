// The tail command: a live console view of new records (status pane above a
// scrolling pane), with the library's console windows; q quits.
//
// Thread-safety: runs on the calling thread only.
#pragma once

#include "LogStore.h"

#include <string>

namespace logd {

// The exit code: 0 after q, 1 when the database cannot be read, 2 for a bad
// pattern, 3 without a console.
int RunTail(const std::string& connection, const Filter& filter, const std::string* pattern, long long intervalMs);

} // namespace logd
