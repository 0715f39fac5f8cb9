// CIOBuffer: a byte block shared between copies, as the overlapped sockets
// hand it to the system and to their sinks.
//
// Contract
// - A buffer has a capacity (the bytes of its block) and a data length (the
//   bytes that count, never more than the capacity). Copies share the block
//   (no bytes are copied); each copy keeps its own data length, so a copy
//   cut to the bytes received leaves the original's length alone.
// - One byte past the block is always NUL: reading a text buffer as a C text
//   never runs past it.
// - Detach lets go of this holder's share: the holder is empty afterwards;
//   the other holders keep the bytes.
// - Shared() tells whether another holder still has the block, so a socket
//   never writes into bytes a sink kept.
//
// Thread-safety: one CIOBuffer object belongs to one thread at a time;
// copies sharing a block may live on different threads. The bytes of a
// shared block are the holders' to coordinate.
#pragma once

#include <memory>
#include <string>

namespace Brindle {

class CIOBuffer {
public:
    // No block: capacity and length 0.
    CIOBuffer() = default;
    // A zeroed block of `capacity` bytes; length 0.
    explicit CIOBuffer(unsigned long capacity);
    // A block holding the text (without its NUL); length = capacity = its
    // length. A null text is taken as "".
    explicit CIOBuffer(const char* text);
    explicit CIOBuffer(const std::string& text);
    // A block holding a copy of `length` bytes (zeros for null data).
    CIOBuffer(const char* data, long length);

    char* GetData() { return m_block ? m_block.get() : nullptr; }
    const char* GetData() const { return m_block ? m_block.get() : nullptr; }
    long GetLength() const { return m_length; }
    unsigned long GetCapacity() const { return m_capacity; }
    // Clamped to 0 .. capacity.
    void SetLength(long length);
    // The data as text (length bytes).
    std::string ToString() const;
    // Writes the text (cut to the capacity) and sets the length to it.
    void SetText(const std::string& text);

    // Gives up this holder's share of the block.
    void Detach();
    // Another holder shares the block.
    bool Shared() const { return m_block.use_count() > 1; }
    // Both hold the same block.
    bool SameBlock(const CIOBuffer& other) const { return m_block == other.m_block; }

private:
    std::shared_ptr<char[]> m_block;
    unsigned long m_capacity = 0;
    long m_length = 0;
};

} // namespace Brindle
