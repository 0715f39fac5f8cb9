// CDdeUpdates: the DDE server's side that the feed threads reach. It turns
// each inbound feed message into the (line key, field) pairs whose advise
// loops must be refreshed, and keeps them as one pending set until the
// window thread takes them. It also holds what the feed threads and the
// window thread share: the pages that clients have asked for, the last feed
// time, and the ticked groups.
//
// By message type (a "published" field is one of the item table whose
// group is published now):
// - 'D', 'R': every published field the message carries, and every
//   published field of its line;
// - 'T': the feed time is copied; (0, 0) stands for the "APP" items;
// - 'I', 'E': every published field of every line from the message's line
//   to line 26 of its page;
// - 'C': with page and line at least 1, that line; with a page at least 1,
//   lines 1..26 of it; with no page, for the published fields among 5, 100,
//   197, 200 and 297, lines 1..26 of every page asked for;
// - any other type: nothing.
// Every pair comes with a companion: (key, 5) for field 4, else (key, 4).
//
// A pair already pending is not added again, so a flood of updates never
// grows the set beyond one entry per line and field, and no update is
// lost: the set is taken whole. The wake function is called, on the thread
// that adds, only when the set goes from empty to not empty: one wake-up
// per batch however many messages arrive.
//
// Thread-safety: every member from any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/Timestamp.h"
#include "zph/ZPHMessage.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mavo {

class CDdeUpdates {
public:
    using Update = std::pair<unsigned, int>;  // (line key, field); (0, 0): the "APP" items

    explicit CDdeUpdates(std::function<void()> wake = {});

    void SetWake(std::function<void()> wake);
    void SetLive(bool on) { m_live = on; }
    void SetHistory(bool on) { m_history = on; }
    bool IsLive() const { return m_live; }
    bool IsHistory() const { return m_history; }
    // A field whose group is published now.
    bool IsPublished(int field) const;

    // Feed thread: one inbound message.
    void OnMessage(const ZPHMessage& msg);

    // Adds one update with its companion.
    void Add(unsigned key, int field);
    // Takes every pending update (the set is empty afterwards).
    std::vector<Update> Take();
    std::size_t PendingCount() const;

    void MarkAsked(int page);
    bool IsAsked(int page) const;
    std::vector<int> AskedPages() const;

    Timestamp GetFeedTime() const;
    void SetFeedTime(const Timestamp& timestamp);

private:
    // Adds every published field of a line.
    void AddLine(unsigned key, std::vector<Update>& batch) const;
    void AddPair(unsigned key, int field, std::vector<Update>& batch) const;
    void Commit(const std::vector<Update>& batch);

    std::atomic<bool> m_live{false};
    std::atomic<bool> m_history{false};

    mutable std::mutex m_lock;
    std::function<void()> m_wake;
    // Pending fields per key, as bits of the item table's positions (bit 63:
    // the "APP" items); keys in the order they first came.
    std::unordered_map<unsigned, std::uint64_t> m_pending;
    std::vector<unsigned> m_order;
    std::size_t m_count = 0;
    std::bitset<301> m_asked;
    Timestamp m_feedTime;
};

} // namespace mavo
