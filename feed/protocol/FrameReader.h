// FrameReader: cuts a byte stream (TCP, TLS, a serial line) into the text
// forms of whole messages, SOH to ETX, within a bounded buffer.
//
// Bytes are appended as they arrive; Next gives one event at a time:
// - FRAME: one whole text form, SOH first and ETX last, not yet checked
//   further (Decode in zph/Codec.h does that);
// - BAD: bytes were dropped, with a reason: bytes outside any message, a
//   message cut short by the start of another, or a message longer than the
//   maximum (read no further than the maximum; the rest up to its end is
//   dropped without another report);
// - NEED_MORE: nothing more can be said until more bytes arrive.
// The buffer never holds more than the maximum frame size plus the last
// appended block, whatever the peer sends.
//
// One reader belongs to one thread.
#pragma once

#include "protocol/Protocol.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ZPHWire {

class FrameReader {
public:
    enum Result { NEED_MORE, FRAME, BAD };

    explicit FrameReader(std::size_t maxFrame = MAX_FRAME_SIZE);

    void Append(const char* data, std::size_t size);
    void Append(std::string_view data) { Append(data.data(), data.size()); }

    // The next event. For FRAME, `frame` is valid until the next Append,
    // Next or Reset; for BAD, `reason` is a static text.
    Result Next(std::string_view& frame, const char*& reason);

    // Drops everything buffered (a new connection starts clean).
    void Reset();

    std::size_t Buffered() const { return m_buffer.size() - m_pos; }
    std::size_t MaxFrame() const { return m_maxFrame; }

private:
    void Compact();
    // Drops the buffered bytes but not the state of an over-long message.
    void Discard();

    std::string m_buffer;
    std::size_t m_pos = 0;      // first byte not yet consumed
    std::size_t m_scanned = 0;  // bytes after m_pos already searched for the frame's end
    bool m_skipping = false;    // dropping the rest of an over-long frame
    std::size_t m_maxFrame;
};

} // namespace ZPHWire
