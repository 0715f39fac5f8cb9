// The framed secure channel: CSecurityLayer, a byte layer that gives the
// layer above it whole, checked, optionally compressed and encrypted data
// blocks, with one CSecurityContext per connection (source). A context
// frames data into CProtocolPackets, runs a four-step Diffie-Hellman
// handshake with a key test, and then encrypts every data packet with the
// agreed method.
//
// States and packet types (StateString names them): 3 WAIT_FOR_SYNC (idle;
// as a packet: reset notice), 22 I_SYNC, 6 P_KEY_EXCH, 18 I_KEY_EXCH,
// 19 P_KEY_TEST, 20 I_KEY_TEST, 2 P_HANDSHAKE, 28 SECURE_TX (handshake done;
// as a packet: application data). The side that calls InitiateHandShake is
// the initiator (22, 18, 20, 28), the other the responder (3, 6, 19, 28).
// Methods ("1" Blowfish ECB, the default; "2"-"4" the setting encoder's DES;
// "5" none, any key; others none) are described in ChannelCipher.h.
//
// How faults are handled (the wire stays as it is):
// - A frame that fails a check (header XOR, field, length above the frame
//   limit, decryption, body, CRC) is discarded: a frame that arrived whole
//   is stepped over; after a bad header or a length above the limit the
//   unparsed input is dropped (nothing tells where the next frame starts,
//   and the peer starts again on the reset notice). The context resets (a
//   reset notice to the peer when it was not idle, OnHandShakeFailed) and
//   reports the check's text with OnError up. A packet the handshake does
//   not expect is handled the same way with the text "OnPacket error!".
//   Frames after it still flow.
// - A reset notice is understood in any state: the context goes idle
//   without answering (and reports the failed handshake when it was not).
// - Reset forgets the group, the keys and the cipher, so a second handshake
//   on the same connection agrees on a fresh key.
// - SendData refuses (false) until the handshake has ended; nothing is
//   queued. It returns what the send down returned, and never marks a
//   frame encrypted that is not.
// - Peer lengths are bounded by the frame limit (SetFrameLimit, 16 MiB by
//   default) before anything is allocated.
// - The channel key is never printed; SetEncryption's trace line withholds it.
// - Strict mode (SetStrict, off by default) refuses data frames that arrive
//   unencrypted once a handshake with a cipher has succeeded.
// - The trace stream (SetTrace, none by default) receives the parser's line
//   per frame and the key-setting line; without one nothing is written.
//
// A 31-bit group with Blowfish or DES in ECB mode is obfuscation for old
// peers, not security: run the channel inside TLS (see README) where it
// matters.
//
// Thread-safety: the layer's context table is locked; each context locks
// its own state, and sends (handshake steps and data) are serialised by the
// same lock, so frames leave in order. No lock is held across an up-call
// (OnData, OnError, the handshake notices). Setters are meant for set-up but
// may be called at any time.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/comm/ChannelCipher.h"
#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/ContextTable.h"
#include "Brindle/comm/DiffieHellman.h"
#include "Brindle/comm/ProtocolPacket.h"

#include <atomic>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Brindle {

class CSecurityContext;
class CSecurityLayer;

enum ENCRYPTION_METHOD : char {
    ENCRYPTION_NONE = '0',
    ENCRYPTION_BLOWFISH = '1',
    ENCRYPTION_CRYPT = '2',
    ENCRYPTION_CRYPT_3 = '3',
    ENCRYPTION_CRYPT_4 = '4',
    ENCRYPTION_PLAIN = '5',
};

class CSecurityLayerSink {
public:
    virtual ~CSecurityLayerSink() = default;
    virtual void OnHandShakeSuccess(CSecurityContext* context) = 0;
    virtual void OnHandShakeFailed(CSecurityContext* context) = 0;
};

class CSecurityContext : public CChannelCipher {
public:
    enum STATE : int {
        P_HANDSHAKE = 2,
        WAIT_FOR_SYNC = 3,
        P_KEY_EXCH = 6,
        I_KEY_EXCH = 18,
        P_KEY_TEST = 19,
        I_KEY_TEST = 20,
        I_SYNC = 22,
        SECURE_TX = 28,
    };

    CSecurityContext(CSecurityLayer* layer, void* source);
    ~CSecurityContext() override;

    void* GetSource() const { return m_source; }
    int GetState() const;
    char GetMethod() const;

    // Resets, then sends an I_SYNC packet: the send's result.
    bool InitiateHandShake();
    // Frames and sends application data; false before the handshake has
    // ended or when the send down fails.
    bool SendData(const std::string& data);
    // Takes bytes from the connection and handles every whole frame.
    bool OnData(const std::string& bytes);
    // Back to WAIT_FOR_SYNC (see the header's notes).
    void Reset();
    // false unless the method is "5" or the key is exactly 32 characters.
    bool SetEncryption(char method, const std::string& key);

    // The layer is going away: later calls do nothing.
    void Detach();

private:
    struct Event;
    using Events = std::vector<Event>;

    bool SendPacketLocked(char type, char method, const std::string& data, bool compress, bool encrypt);
    void ResetLocked(bool notifyPeer, Events& events);
    bool OnPacketLocked(Events& events);
    void FailLocked(const std::string& text, Events& events);
    void Deliver(Events& events);

    mutable std::recursive_mutex m_lock;
    CSecurityLayer* m_layer;
    void* m_source;
    CProtocolPacket m_packet;
    int m_state = WAIT_FOR_SYNC;
    char m_method = ENCRYPTION_NONE;
    bool m_secured = false;
    std::string m_test;
    CDiffieHellman<4> m_dh;
    std::string m_input;
};

class CSecurityLayer : public CCommLayer, public CSecurityLayerSink {
public:
    static constexpr unsigned DEFAULT_COMPRESSION_THRESHOLD = 1024;

    CSecurityLayer();
    ~CSecurityLayer() override;

    // The name of a state or packet-type code, "<unknown>" for others.
    static const char* StateString(int state);

    void SetNotify(CSecurityLayerSink* sink) { m_notify = sink; }
    void SetMethod(ENCRYPTION_METHOD method) { m_method = method; }
    char GetPreferredMethod() const { return m_method; }
    void SetCompressionThreshold(unsigned bytes) { m_threshold = bytes; }
    unsigned GetCompressionThreshold() const { return m_threshold; }
    void SetFrameLimit(unsigned bytes) { m_frameLimit = bytes; }
    unsigned GetFrameLimit() const { return m_frameLimit; }
    void SetStrict(bool strict) { m_strict = strict; }
    bool GetStrict() const { return m_strict; }
    // Trace lines go here (not owned; null for none).
    void SetTrace(std::ostream* trace) { m_trace = trace; }

    // The context of a source, or null.
    CRefCountedPtr<CSecurityContext> GetSecurityContext(void* source) const;

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnData(void* source, const std::string& data) override;
    bool SendData(void* source, const std::string& data) override;

    void OnHandShakeSuccess(CSecurityContext* context) override;
    void OnHandShakeFailed(CSecurityContext* context) override;

private:
    friend class CSecurityContext;

    std::atomic<CSecurityLayerSink*> m_notify{nullptr};
    std::atomic<char> m_method{ENCRYPTION_BLOWFISH};
    std::atomic<unsigned> m_threshold{DEFAULT_COMPRESSION_THRESHOLD};
    std::atomic<unsigned> m_frameLimit{CProtocolPacket::DEFAULT_LIMIT};
    std::atomic<bool> m_strict{false};
    std::atomic<std::ostream*> m_trace{nullptr};
    std::mutex m_traceLock;
    // Last, so that contexts are detached before the settings go.
    CContextTable<CSecurityContext> m_contexts;
};

} // namespace Brindle
