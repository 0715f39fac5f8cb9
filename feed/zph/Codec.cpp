#include "zph/Codec.h"

#include "Brindle/comm/Msg.h"
#include "zph/NumberText.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <sys/random.h>

#include <stdexcept>

namespace ZPHWire {

using ZPH::ZPHMessage;

namespace {

bool IsDelimiter(char c)
{
    return c == 0x01 || c == 0x02 || c == 0x03 || c == 0x1D || c == 0x1E || c == 0x1F;
}

bool PlainText(std::string_view text)
{
    for (char c : text) {
        if (IsDelimiter(c))
            return false;
    }
    return true;
}

std::string Hex(const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = digits[data[i] >> 4];
        text[2 * i + 1] = digits[data[i] & 0x0F];
    }
    return text;
}

bool Fail(std::string* error, const char* why)
{
    if (error != nullptr)
        *error = why;
    return false;
}

// The first value of a record with this id, or null.
const std::string* FirstValue(const Brindle::CRec& record, const char* id)
{
    auto found = record.find_value(Brindle::CVar(id));
    return found == record.end() ? nullptr : &found->get_value().get_value();
}

} // namespace

bool Encode(const ZPHMessage& msg, std::string& out)
{
    if (msg.m_type <= ' ' || msg.m_type >= 0x7f)
        return false;
    const auto& fields = msg.GetFields();
    if (fields.size() > MAX_FIELDS)
        return false;
    // Header: 3 + "ZPH" + three values; body: 1 + "F" + the values.
    std::size_t size = 3 + 1 + 3 + 3 * 2 + 3 + 24;
    for (const auto& [id, text] : fields) {
        if (id < 0 || !PlainText(text))
            return false;
        size += text.size() + 2 + 10;
        if (size > MAX_FRAME_SIZE + 64)
            return false;
    }

    Brindle::CMsg message{Brindle::CVar(HEADER_ID)};
    Brindle::CRec& header = message.get_header();
    header.set(Brindle::CVar(HEADER_TYPE)).set_value(msg.m_type);
    header.set(Brindle::CVar(HEADER_PAGE)).set_value(msg.m_page);
    header.set(Brindle::CVar(HEADER_LINE)).set_value(msg.m_line);
    if (!fields.empty()) {
        Brindle::CRec body{Brindle::CVar(BODY_ID)};
        for (const auto& [id, text] : fields)
            body.add(Brindle::CVal(Brindle::CVar(id), Brindle::CVar(text)));
        message.add(body);
    }
    if (message.required_size() > MAX_FRAME_SIZE)
        return false;
    try {
        out += message.build_string();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::string Encode(const ZPHMessage& msg)
{
    std::string text;
    Encode(msg, text);
    return text;
}

bool Decode(std::string_view frame, ZPHMessage& msg, std::string* error)
{
    msg = ZPHMessage();
    if (frame.size() > MAX_FRAME_SIZE)
        return Fail(error, "message too long");
    Brindle::CMsg message;
    if (!message.parse(frame))
        return Fail(error, "not a message text");
    const Brindle::CRec& header = message.get_header();
    if (header.get_id() != Brindle::CVar(HEADER_ID))
        return Fail(error, "not a feed message");
    const std::string* type = FirstValue(header, HEADER_TYPE);
    const std::string* page = FirstValue(header, HEADER_PAGE);
    const std::string* line = FirstValue(header, HEADER_LINE);
    if (type == nullptr || page == nullptr || line == nullptr)
        return Fail(error, "header incomplete");
    if (type->size() != 1 || (*type)[0] <= ' ' || (*type)[0] >= 0x7f)
        return Fail(error, "bad message type");
    ZPHMessage result((*type)[0], 0, 0);
    if (!ZPHText::ParseInt(*page, result.m_page) || !ZPHText::ParseInt(*line, result.m_line))
        return Fail(error, "bad page or line");
    for (const Brindle::CRec& record : message.get_records()) {
        if (record.get_id() != Brindle::CVar(BODY_ID))
            continue;  // a later version's record
        for (const Brindle::CVal& value : record) {
            int id = 0;
            if (!ZPHText::ParseInt(value.get_id().get_value(), id) || id < 0)
                return Fail(error, "bad field id");
            if (result.GetFieldCount() >= MAX_FIELDS)
                return Fail(error, "too many fields");
            result.AddField(id, std::string_view(value.get_value().get_value()));
        }
    }
    msg = std::move(result);
    return true;
}

std::string MakeNonce()
{
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0) {
            if (RAND_bytes(bytes, sizeof bytes) != 1)
                throw std::runtime_error("no random source for a nonce");
            got = sizeof bytes;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return Hex(bytes, sizeof bytes);
}

std::string LoginProof(std::string_view nonce, std::string_view user, std::string_view password)
{
    std::string data;
    data.reserve(nonce.size() + user.size());
    data.append(nonce).append(user);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    static const char noKey[1] = {0};
    const void* key = password.empty() ? noKey : password.data();
    const unsigned char* result = HMAC(EVP_sha256(), key, static_cast<int>(password.size()),
                                       reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &length);
    if (result == nullptr)
        return std::string();
    return Hex(digest, length);
}

bool ProofEquals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace ZPHWire
