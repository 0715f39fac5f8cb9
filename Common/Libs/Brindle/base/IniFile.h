// CIniFile: a sectioned settings file ([section] lines, then key=value
// lines) as an ordered vector of CRec: one record per section, id = the
// section name, values = the pairs in file order, duplicates kept.
//
// Contract (load)
// - Lines end with LF or CR LF and are read whole, however long. Each line
//   is trimmed of spaces, tabs and CRs at both ends. Empty lines, lines
//   starting with ';' and lines without '=' are skipped.
// - A section line starts with '[' and ends with ']'; its name is the text
//   with every leading '[' and trailing ']' removed.
// - A value line: key = text before the first '=', value = the rest, neither
//   trimmed further. Values before the first section line belong to the
//   first section.
// - A file without any section line loads nothing and gives false; so does
//   a file that cannot be opened. Sections are appended after what the
//   object already holds.
// Contract (save)
// - Writes "[id]\n" for each record, then "key=value\n" for each value, to a
//   temporary file in the same directory, flushed to disk and then renamed
//   over the target: a crash leaves the old file or the new one, never half
//   of one. An existing file keeps its permissions.
// - false when the file cannot be written, and when a text holds a line feed
//   (it would come back as lines of its own: another key, another section);
//   the old file is then untouched. A failure is logged with severity -2.
// - Nothing is thrown to the caller.
//
// Thread-safety: a plain value; one thread changes an object at a time.
// save on one object may run on several threads at once (to different
// paths).
#pragma once

#include "Brindle/comm/Msg.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace Brindle {

class CIniFile : public std::vector<CRec> {
public:
    bool load(const std::string& path);
    bool save(const std::string& path) const;

    // The same from and to streams (save: false on a line feed in a text or
    // a failed stream; nothing is logged).
    bool load(std::istream& in);
    bool save(std::ostream& out) const;
};

} // namespace Brindle
