// CBuffer, a fixed block of bytes with a consumed-bytes offset, shared
// between copies through a reference count; and CSendBuffer, a queue of such
// blocks waiting to be sent, first in first out.
//
// A CBuffer always holds storage. Copying shares the storage (no bytes are
// copied) and the copy sees the whole block (offset 0). Writing text into a
// buffer whose block is large enough writes into the shared block, visible
// to every holder; otherwise that holder gets a block of its own. One byte
// past the block is always NUL, so reading the block as a C text never runs
// past it, even when the block itself holds no NUL. The offset never passes
// the size.
//
// CSendBuffer queues each buffer from where it stands (a partly consumed
// buffer keeps its offset, and only its unconsumed bytes count); empty
// buffers are not queued. RemoveBytes consumes across queued buffers and
// never more than is queued.
//
// Thread-safety: one CBuffer or CSendBuffer object belongs to one thread at a
// time. Copies sharing a block may live on different threads (the count is
// atomic); bytes written into a shared block are the holders' to coordinate.
#pragma once

#include <atomic>
#include <deque>

namespace Brindle {

class CBuffer {
public:
    // An empty block (0 bytes).
    CBuffer();
    // A block holding a copy of `count` bytes of `data` (zeros for null data).
    CBuffer(const char* data, unsigned count);
    // A block of `count` bytes, each `fill`.
    CBuffer(unsigned count, char fill);
    CBuffer(const CBuffer& other);
    CBuffer& operator=(const CBuffer& other);
    ~CBuffer();

    // The text and its NUL go into the block when they fit (size and offset
    // stay); otherwise this holder gets a new block of text length + 1 bytes
    // holding them, offset 0. A null text is taken as "".
    CBuffer& operator=(const char* text);

    // Bytes not yet consumed.
    unsigned Size() const { return m_size - m_offset; }
    // The first unconsumed byte.
    const char* Buffer() const { return m_storage + m_offset; }
    // The start of the block, whatever has been consumed.
    operator const char*() const { return m_storage; }
    operator char*() { return m_storage; }

    // Consumes `count` bytes (at most what is left).
    void Increment(unsigned count);
    CBuffer& operator+=(unsigned count);

    // Length of the NUL-terminated text at the start of the block (at most
    // the block's size).
    unsigned Strlen() const;
    // Size = Strlen().
    void SetStrSize();

    // 1 when both hold the same block.
    int operator==(const CBuffer& other) const;

private:
    friend class CSendBuffer;

    void Release();
    // Appends a copy that keeps the buffer's offset.
    static void QueueWhereItStands(std::deque<CBuffer>& queue, const CBuffer& buffer);

    char* m_storage;
    std::atomic<int>* m_refs;
    unsigned m_offset;
    unsigned m_size;
};

class CSendBuffer {
public:
    CSendBuffer() = default;
    CSendBuffer(const CSendBuffer& other);
    CSendBuffer& operator=(const CSendBuffer& other);
    ~CSendBuffer() = default;

    // Queues the buffer's unconsumed bytes (sharing its block).
    void PutData(const CBuffer& buffer);
    // The next bytes to send (the first buffer's unconsumed bytes), or null.
    const char* GetData() const;
    // How many bytes GetData() points at; 0 when nothing is queued.
    unsigned GetDataLen() const;
    // Marks `count` bytes as sent, from the front, across buffers; fully
    // sent buffers leave the queue. More than is queued empties it.
    void RemoveBytes(unsigned count);
    // The unsent bytes in total (INT_MAX when more are queued).
    int GetBufferSize() const;

private:
    std::deque<CBuffer> m_buffers;
    unsigned long long m_total = 0;
};

} // namespace Brindle
