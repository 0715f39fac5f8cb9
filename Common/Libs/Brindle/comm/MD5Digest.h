// CMD5Digest: the published MD5 message digest (RFC 1321) of one input.
//
// Constructors take bytes and a length (length 0 means a zero-terminated
// text) or a string, and a flag to keep a private copy of the input
// (zero-terminated after its last byte). Without the copy, GetInput points
// at the caller's bytes, which must outlive its use. An empty input throws
// CException "Cannot get digest of empty string".
//
// MD5 is kept for the peers that use it; it is broken as a collision-proof
// hash and must not protect anything that matters.
//
// Thread-safety: a digest is a value, computed in the constructor; const
// calls may run on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Brindle {

class CMD5Digest {
public:
    static constexpr std::size_t DigestSize = 16;

    CMD5Digest(const char* input, std::size_t length = 0, bool copy = false);
    explicit CMD5Digest(const std::string& input, bool copy = false);

    const unsigned char* GetDigest() const { return m_digest; }
    // The input: the private copy, or the caller's bytes.
    const char* GetInput() const { return m_copy.empty() ? m_input : m_copy.data(); }
    std::size_t GetInputLength() const { return m_length; }
    // 32 lowercase hexadecimal digits.
    std::string GetDigestString() const;

    bool operator==(const CMD5Digest& other) const;
    bool operator==(const unsigned char (&digest)[DigestSize]) const;
    bool operator==(const unsigned char* digest) const;

    // The digest of any bytes, empty ones included (the class refuses those).
    static void Compute(const void* data, std::size_t length, unsigned char digest[DigestSize]);

private:
    void Init(const char* input, std::size_t length, bool copy);

    const char* m_input = nullptr;
    std::size_t m_length = 0;
    std::vector<char> m_copy;
    unsigned char m_digest[DigestSize] = {};
};

} // namespace Brindle
