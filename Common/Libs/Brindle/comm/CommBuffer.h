// CCommBuffer: an owned heap byte array and its capacity, the buffer the
// transports lend to the system for one operation.
//
// Allocate(n) frees the old array and allocates n bytes (none for 0, and
// the new bytes are not cleared). Assign copies bytes in: with a count of 0
// the bytes are taken as a zero-terminated text, and an empty text (or
// string) leaves no array. The buffer has exactly one owner: it moves but
// does not copy, and is not reference counted.
//
// Thread-safety: none; one owner uses it at a time.
#pragma once

#include <memory>
#include <string>

namespace Brindle {

class CCommBuffer {
public:
    explicit CCommBuffer(unsigned capacity = 0);
    CCommBuffer(const char* bytes, unsigned count);
    explicit CCommBuffer(const std::string& bytes);
    CCommBuffer(CCommBuffer&& other) noexcept;
    CCommBuffer& operator=(CCommBuffer&& other) noexcept;
    CCommBuffer(const CCommBuffer&) = delete;
    CCommBuffer& operator=(const CCommBuffer&) = delete;
    ~CCommBuffer() = default;

    void Allocate(unsigned capacity);
    void Assign(const char* bytes, unsigned count);
    void Assign(const std::string& bytes);
    void Release();

    char* GetBuffer() const { return m_bytes.get(); }
    unsigned GetCapacity() const { return m_capacity; }

private:
    std::unique_ptr<char[]> m_bytes;
    unsigned m_capacity = 0;
};

} // namespace Brindle
