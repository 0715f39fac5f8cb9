// CDdeActivityLog: the DDE window's log of DDE activity. Each entry is
// appended at the end; when more than 1000 entries are held, the oldest go
// 100 at a time until 1000 or fewer remain, so the log never holds more
// than 1000 entries after an append.
//
// Thread-safety: one thread (the window thread).
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace mavo {

class CDdeActivityLog {
public:
    static constexpr std::size_t kMaxEntries = 1000;
    static constexpr std::size_t kTrimStep = 100;

    // Appends an entry; the number of oldest entries removed to keep the cap.
    std::size_t Append(std::string entry);

    const std::deque<std::string>& Entries() const { return m_entries; }
    std::size_t Size() const { return m_entries.size(); }
    void Clear() { m_entries.clear(); }

private:
    std::deque<std::string> m_entries;
};

} // namespace mavo
