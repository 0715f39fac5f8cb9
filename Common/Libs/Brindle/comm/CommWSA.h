// CCommWSA: the data of one socket operation (its kind, the buffer lent to
// the system and the descriptor that names it), owned by the operation's
// record through the record's user data.
//
// Kinds and the buffer each gets when made without data: accept 192 bytes
// (the two 32-byte address blocks and room to spare), connect 128, receive
// 262144, send a copy of the data, error the error text. Two more kinds
// are the transports' own: a listener's deferred deletion of a closed child
// and its accept started again after a pause.
//
// An accept operation owns its new connection's handle until the handle
// is taken (SetSocket(INVALID_SOCKET)): an accept that never completes
// closes it with its data.
//
// The descriptor always describes the buffer: every call that replaces the
// buffer updates it.
//
// Thread-safety: none; the operation's one owner uses it at a time.
#pragma once

#include "Brindle/comm/CommBuffer.h"
#include "Brindle/comm/CommIOCP.h"
#include "Platform/IoPort.h"

#include <string>

namespace Brindle {

class CCommWSA {
public:
    enum WSA_TYPE {
        WSA_ACCEPT = 0,
        WSA_CONNECT = 1,
        WSA_RECEIVE = 2,
        WSA_SEND = 3,
        WSA_ERROR = 4,
        // Internal: a listener deletes the children closed since.
        WSA_REAP = 5,
        // Internal: a listener starts its next accept after a pause.
        WSA_REARM = 6,
    };

    static constexpr unsigned AcceptBufferSize = 192;
    static constexpr unsigned ConnectBufferSize = 128;
    static constexpr unsigned ReceiveBufferSize = 262144;

    // The buffer the kind gets when made without data.
    explicit CCommWSA(WSA_TYPE type);
    // Kind with a copy of `data` as its buffer (send, error).
    CCommWSA(WSA_TYPE type, const std::string& data);
    // Closes an accepted handle that nobody took over.
    ~CCommWSA();
    CCommWSA(const CCommWSA&) = delete;
    CCommWSA& operator=(const CCommWSA&) = delete;

    WSA_TYPE GetType() const { return m_type; }
    void SetType(WSA_TYPE type) { m_type = type; }
    // The whole buffer as bytes.
    std::string GetString() const;
    // The first `count` bytes (at most the capacity).
    std::string GetString(unsigned count) const;
    void SetString(const std::string& data);
    char* GetBuffer() const { return m_buffer.GetBuffer(); }
    unsigned GetCapacity() const { return m_buffer.GetCapacity(); }
    WSABUF* GetWSABuf() { return &m_wsabuf; }
    DWORD GetFlags() const { return m_flags; }
    DWORD* GetpFlags() { return &m_flags; }
    SOCKET GetSocket() const { return m_socket; }
    void SetSocket(SOCKET s) { m_socket = s; }
    // Whether the operation is in its socket's outstanding count.
    bool IsCounted() const { return m_counted; }
    void SetCounted(bool counted) { m_counted = counted; }

    // Record user-data glue: the record frees the data with Release.
    static void Release(ULONG_PTR data);
    // The data attached to `record`, or null.
    static CCommWSA* Of(const CRefCountedPtr<CCommOverlapped>& record);
    // Hands ownership to `record`.
    void AttachTo(const CRefCountedPtr<CCommOverlapped>& record);

private:
    void Describe();

    WSABUF m_wsabuf;
    WSA_TYPE m_type;
    DWORD m_flags = 0;
    SOCKET m_socket = INVALID_SOCKET;
    bool m_counted = true;
    CCommBuffer m_buffer;
};

} // namespace Brindle
