// The datagram transport: CCommDatagram sends each block as one IPv4 UDP
// datagram to a fixed address; CCommDatagramFrom receives datagrams on a
// port, optionally as a member of a multicast group, and hands each one up
// as data with this object as the source (the sender's address is
// GetFrom() during the call). All input and output goes through the
// completion port, one operation record each.
//
// Contract
// - SetAddress as for the TCP socket: with resolve a dotted address or a
//   looked-up name (false on failure, the old address and text kept), a
//   port above 0 replaces the stored one; without, text and port only.
//   GetAddress is "UDP:host:port".
// - Connect creates the socket and sets the largest datagram it takes
//   (65507 bytes of IPv4 payload). Send is false without a socket and for
//   data longer than that, without any error completion; a full send buffer
//   makes the send wait for room.
// - One receive is always pending until the socket closes. An empty
//   datagram is no close: it is skipped and the next receive posted. Send
//   and receive failures go up as OnError and close the socket.
// - BeginReceive(true) binds any address on the stored port with address
//   reuse and joins the stored group on any interface; Close leaves the
//   group first. Binding and membership failures go to the log stream with
//   the system's text and make BeginReceive close the socket and return
//   false.
//
// Thread-safety: Send, Close, the setters and the accessors from any
// thread; completion handlers on the port's workers. Socket creation and
// closing are serialised by the system lock; the outstanding count is
// atomic.
#pragma once

#include "Brindle/comm/CommAddress.h"
#include "Brindle/comm/CommObject.h"
#include "Brindle/comm/CommWSA.h"
#include "Platform/IoPort.h"

#include <atomic>
#include <string>

namespace Brindle {

class CCommDatagram : public CCommObject {
public:
    static constexpr int SocketBufferSize = 32768;
    // The largest IPv4 UDP payload.
    static constexpr int MaxDatagramSize = 65507;

    explicit CCommDatagram(CCommIOCP& iocp);
    ~CCommDatagram() override;

    bool SetAddress(int port, const char* host, bool resolve = true);
    std::string GetAddress() const;
    bool Connect();
    bool Send(const std::string& data) override;
    bool SetTTL(int ttl);
    bool SetLoopback(bool loopback);
    bool CheckOutstandingOverlapped(int n) const { return OutstandingOverlapped() >= n; }
    bool Close() override;

    void OnComplete(CRefCountedPtr<CCommOverlapped> record) override;
    virtual void OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record);
    virtual void OnSendComplete(CRefCountedPtr<CCommOverlapped> record);
    virtual void OnErrorComplete(CRefCountedPtr<CCommOverlapped> record);

    SOCKET Socket() const { return m_socket.load(std::memory_order_acquire); }
    std::string GetHostname() const;
    int GetPort() const;
    int MaxMsgSize() const { return m_maxMsgSize.load(std::memory_order_acquire); }
    int OutstandingOverlapped() const { return m_outstanding.load(std::memory_order_acquire); }
    void SetUserData(unsigned long data) { m_userData = data; }
    unsigned long GetUserData() const { return m_userData; }
    static CCommWSA* GetWSA(const CRefCountedPtr<CCommOverlapped>& record) { return CCommWSA::Of(record); }

protected:
    bool Allocate();
    void Deallocate();
    CRefCountedPtr<CCommOverlapped> CreateOverlapped(CCommWSA::WSA_TYPE type, CCommWSA* reuse = nullptr);
    CRefCountedPtr<CCommOverlapped> CreateOverlapped(CCommWSA::WSA_TYPE type, const std::string& data);
    void OverlappedComplete(CRefCountedPtr<CCommOverlapped>& record);
    // Finishes a record whose operation never started.
    void Discard(CRefCountedPtr<CCommOverlapped>& record);
    // Finishes an operation whose data was taken back for reuse.
    void Uncount() { m_outstanding.fetch_sub(1, std::memory_order_acq_rel); }
    void PostError(CRefCountedPtr<CCommOverlapped>& record, const char* prefix, DWORD code);
    // A receive into `buffer` (or a new one); CCommDatagramFrom only.
    virtual bool Receive(CCommWSA* buffer);

    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    // Guarded by the system lock.
    sockaddr_in m_address{};
    char m_host[CommHostSize] = {};
    int m_port = 0;

private:
    std::atomic<int> m_outstanding{0};
    unsigned long m_userData = 0;
    std::atomic<int> m_maxMsgSize{0};
};

class CCommDatagramFrom : public CCommDatagram {
public:
    explicit CCommDatagramFrom(CCommIOCP& iocp);
    ~CCommDatagramFrom() override;

    // Binds (joining the group when `multicast`) and posts the first
    // receive; on failure closes and returns false.
    bool BeginReceive(bool multicast);
    bool Close() override;

    bool IsMember() const { return m_member.load(std::memory_order_acquire); }
    // The sender of the datagram being handed up (valid during OnData).
    const sockaddr_in& GetFrom() const { return m_from; }
    int GetFromLength() const { return m_fromLength; }

    void OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record) override;

protected:
    bool Bind(bool multicast);
    bool Receive(CCommWSA* buffer) override;

private:
    std::atomic<bool> m_member{false};
    ip_mreq m_request{};
    // Written by the pending receive.
    sockaddr_in m_from{};
    int m_fromLength = sizeof(sockaddr_in);
};

} // namespace Brindle
