#include "Platform/dde/DdeWire.h"

#include <cstring>

namespace Platform::Dde {

namespace {

void PutU32(std::string& out, std::uint32_t value)
{
    char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                     static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    out.append(bytes, 4);
}

bool GoodName(const std::string& text)
{
    return text.size() <= MAX_NAME && text.find('\0') == std::string::npos;
}

void PutName(std::string& out, const std::string& text)
{
    out.push_back(static_cast<char>(text.size() & 0xFF));
    out.push_back(static_cast<char>((text.size() >> 8) & 0xFF));
    out.append(text);
}

void PutBlob(std::string& out, const std::string& data)
{
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    out.append(data);
}

// Reads fields off a body, failing once anything is cut short or too long.
class BodyReader {
public:
    explicit BodyReader(std::string_view body) : m_rest(body) {}

    bool U32(std::uint32_t& value)
    {
        if (m_rest.size() < 4)
            return false;
        const auto* p = reinterpret_cast<const unsigned char*>(m_rest.data());
        value = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                (std::uint32_t(p[3]) << 24);
        m_rest.remove_prefix(4);
        return true;
    }

    bool Flag(bool& value)
    {
        std::uint32_t raw = 0;
        if (!U32(raw) || raw > 1)
            return false;
        value = raw == 1;
        return true;
    }

    bool Name(std::string& text)
    {
        if (m_rest.size() < 2)
            return false;
        const auto* p = reinterpret_cast<const unsigned char*>(m_rest.data());
        const std::size_t length = std::size_t(p[0]) | (std::size_t(p[1]) << 8);
        m_rest.remove_prefix(2);
        if (length > MAX_NAME || m_rest.size() < length)
            return false;
        if (std::memchr(m_rest.data(), '\0', length) != nullptr)
            return false;
        text.assign(m_rest.data(), length);
        m_rest.remove_prefix(length);
        return true;
    }

    bool Blob(std::string& data)
    {
        std::uint32_t length = 0;
        if (!U32(length) || length > MAX_DATA || m_rest.size() < length)
            return false;
        data.assign(m_rest.data(), length);
        m_rest.remove_prefix(length);
        return true;
    }

    bool AtEnd() const { return m_rest.empty(); }

private:
    std::string_view m_rest;
};

} // namespace

bool EncodeFrame(const Frame& frame, std::string& out)
{
    switch (frame.kind) {
    case FrameKind::CONNECT:
    case FrameKind::CONNECT_REPLY:
        if (!GoodName(frame.instance) || !GoodName(frame.service) || !GoodName(frame.topic))
            return false;
        break;
    case FrameKind::TRANSACT:
    case FrameKind::ADVISE:
        if (!GoodName(frame.item) || frame.data.size() > MAX_DATA)
            return false;
        break;
    case FrameKind::REPLY:
        if (frame.data.size() > MAX_DATA)
            return false;
        break;
    default:
        return false;
    }
    // Written straight after what `out` holds, no body built apart and
    // copied; the length goes in front once the body is there.
    const std::size_t start = out.size();
    PutU32(out, 0);
    out.push_back(static_cast<char>(frame.kind));
    switch (frame.kind) {
    case FrameKind::CONNECT:
        PutU32(out, frame.version);
        PutU32(out, frame.flags);
        PutName(out, frame.instance);
        PutName(out, frame.service);
        PutName(out, frame.topic);
        break;
    case FrameKind::CONNECT_REPLY:
        PutU32(out, frame.error);
        PutName(out, frame.instance);
        PutName(out, frame.service);
        PutName(out, frame.topic);
        break;
    case FrameKind::TRANSACT:
        PutU32(out, frame.id);
        PutU32(out, frame.type);
        PutU32(out, frame.format);
        PutName(out, frame.item);
        PutU32(out, frame.hasData ? 1 : 0);
        PutBlob(out, frame.data);
        break;
    case FrameKind::REPLY:
        PutU32(out, frame.id);
        PutU32(out, frame.error);
        PutU32(out, frame.status);
        PutU32(out, frame.format);
        PutU32(out, frame.hasData ? 1 : 0);
        PutBlob(out, frame.data);
        break;
    case FrameKind::ADVISE:
        PutU32(out, frame.format);
        PutName(out, frame.item);
        PutU32(out, frame.hasData ? 1 : 0);
        PutBlob(out, frame.data);
        break;
    }
    std::string length;
    PutU32(length, static_cast<std::uint32_t>(out.size() - start - HEADER_SIZE));
    out.replace(start, HEADER_SIZE, length);
    return true;
}

bool DecodeBody(std::string_view body, Frame& frame)
{
    if (body.empty() || body.size() > MAX_BODY)
        return false;
    Frame result;
    result.kind = static_cast<FrameKind>(static_cast<unsigned char>(body[0]));
    BodyReader in(body.substr(1));
    bool good = false;
    switch (result.kind) {
    case FrameKind::CONNECT:
        good = in.U32(result.version) && in.U32(result.flags) && in.Name(result.instance) &&
               in.Name(result.service) && in.Name(result.topic);
        break;
    case FrameKind::CONNECT_REPLY:
        good = in.U32(result.error) && in.Name(result.instance) && in.Name(result.service) &&
               in.Name(result.topic);
        break;
    case FrameKind::TRANSACT:
        good = in.U32(result.id) && in.U32(result.type) && in.U32(result.format) && in.Name(result.item) &&
               in.Flag(result.hasData) && in.Blob(result.data);
        break;
    case FrameKind::REPLY:
        good = in.U32(result.id) && in.U32(result.error) && in.U32(result.status) && in.U32(result.format) &&
               in.Flag(result.hasData) && in.Blob(result.data);
        break;
    case FrameKind::ADVISE:
        good = in.U32(result.format) && in.Name(result.item) && in.Flag(result.hasData) && in.Blob(result.data);
        break;
    default:
        return false;
    }
    if (!good || !in.AtEnd())
        return false;
    frame = std::move(result);
    return true;
}

void FrameReader::Append(const char* data, std::size_t size)
{
    if (m_bad || size == 0)
        return;
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 64 * 1024 && m_pos * 2 > m_buffer.size()) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, size);
}

FrameReader::Result FrameReader::Next(Frame& frame)
{
    if (m_bad)
        return BAD;
    const std::size_t available = m_buffer.size() - m_pos;
    if (available < HEADER_SIZE)
        return NEED_MORE;
    const auto* p = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_pos);
    const std::size_t length = std::size_t(p[0]) | (std::size_t(p[1]) << 8) | (std::size_t(p[2]) << 16) |
                               (std::size_t(p[3]) << 24);
    if (length == 0 || length > MAX_BODY) {
        m_bad = true;
        m_buffer.clear();
        m_pos = 0;
        return BAD;
    }
    if (available < HEADER_SIZE + length)
        return NEED_MORE;
    const std::string_view body(m_buffer.data() + m_pos + HEADER_SIZE, length);
    m_pos += HEADER_SIZE + length;
    if (!DecodeBody(body, frame)) {
        m_bad = true;
        m_buffer.clear();
        m_pos = 0;
        return BAD;
    }
    return FRAME;
}

void FrameReader::Reset()
{
    m_buffer.clear();
    m_pos = 0;
    m_bad = false;
}

} // namespace Platform::Dde
