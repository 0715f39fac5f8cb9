#include "protocol/FrameReader.h"

#include <algorithm>

namespace ZPHWire {

namespace {
constexpr char SOH = 0x01;
constexpr char ETX = 0x03;
} // namespace

FrameReader::FrameReader(std::size_t maxFrame) : m_maxFrame(std::max<std::size_t>(maxFrame, 16)) {}

void FrameReader::Append(const char* data, std::size_t size)
{
    Compact();
    if (size == 0)
        return;
    m_buffer.append(data, size);
}

void FrameReader::Reset()
{
    Discard();
    m_skipping = false;
}

void FrameReader::Discard()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
}

void FrameReader::Compact()
{
    if (m_pos == 0)
        return;
    m_buffer.erase(0, m_pos);
    m_pos = 0;
}

FrameReader::Result FrameReader::Next(std::string_view& frame, const char*& reason)
{
    const std::size_t size = m_buffer.size();
    for (;;) {
        if (m_pos >= size) {
            Discard();
            return NEED_MORE;
        }
        if (m_skipping) {
            // The tail of an over-long message: drop through its ETX, or up
            // to the SOH of the next message.
            std::size_t i = m_pos;
            while (i < size && m_buffer[i] != ETX && m_buffer[i] != SOH)
                ++i;
            if (i == size) {
                Discard();
                return NEED_MORE;
            }
            m_skipping = false;
            m_pos = m_buffer[i] == ETX ? i + 1 : i;
            continue;
        }
        if (m_buffer[m_pos] != SOH) {
            std::size_t i = m_pos;
            while (i < size && m_buffer[i] != SOH)
                ++i;
            m_pos = i;
            m_scanned = 0;
            reason = "bytes outside a message";
            return BAD;
        }
        // A message starts at m_pos: find its ETX, or a SOH that cuts it.
        std::size_t i = m_pos + 1 + m_scanned;
        const std::size_t limit = std::min(size, m_pos + m_maxFrame);
        while (i < limit && m_buffer[i] != ETX && m_buffer[i] != SOH)
            ++i;
        if (i < limit) {
            if (m_buffer[i] == SOH) {
                m_pos = i;
                m_scanned = 0;
                reason = "message cut short";
                return BAD;
            }
            frame = std::string_view(m_buffer).substr(m_pos, i + 1 - m_pos);
            m_pos = i + 1;
            m_scanned = 0;
            return FRAME;
        }
        if (limit == m_pos + m_maxFrame) {
            m_pos = limit;
            m_scanned = 0;
            m_skipping = true;
            reason = "message too long";
            return BAD;
        }
        m_scanned = i - m_pos - 1;
        return NEED_MORE;
    }
}

} // namespace ZPHWire
