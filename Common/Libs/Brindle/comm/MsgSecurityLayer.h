// The message security layer: CMsgSecurityLayer secures whole messages. Per
// connection (source) a CMsgSecurityContext runs a key exchange carried in
// messages whose header ids begin with "MSEC_", and afterwards sends every
// application message as an "MSEC_PACK" message whose records are packed,
// padded and encrypted copies of the messages' text forms (MPACK records).
// Other messages pass through unchanged in both directions, before and
// after the handshake.
//
// Handshake: MSEC_INITIATE (initiator), MSEC_P_KEY_EXCH ("Method",
// "DiffieHellman"), MSEC_I_KEY_EXCH ("DiffieHellman"), MSEC_P_KEY_TEST and
// MSEC_I_KEY_TEST ("Magic": base64 of the encrypted test string, reversed
// by the initiator), MSEC_P_HANDSHAKE; MSEC_HANDSHAKE_FAILED from either
// side. States: 0 idle, 1 initiated, 2 key sent (responder), 3 key sent
// (initiator), 4 test sent, 5 test answered, 7 secure. Methods: 1 Blowfish
// ECB (default), 2-4 the setting encoder's DES, others none.
//
// Packing (the layer's MPACK variant): bodies longer than the compression
// threshold (1024 by default) are compressed; in state 7 the body is padded
// with 1 to 32 spaces to the next multiple of 32 above it and, when asked
// and the method has a cipher, encrypted; "encrypt" says what was done.
// Unpacking decrypts only in state 7 and bounds every size by the message
// limit (16 MiB by default) before allocating.
//
// How faults are handled:
// - A key-test string must decode to 32 bytes before it is decrypted;
//   anything else fails the handshake.
// - An out-of-order handshake message or a failed key test resets the
//   context, answers MSEC_HANDSHAKE_FAILED (not to that message itself) and
//   notifies OnHandShakeFailed. MSEC_INITIATE while secure is such a
//   message, so re-keying a secured connection takes one failed exchange
//   first; Reset forgets the group and keys, so the next one succeeds.
// - A packed record that does not unpack or parse is skipped (and logged);
//   the other records of the bundle are delivered.
// - Strict mode (SetStrict, off by default): once a handshake has
//   succeeded on a connection, plain messages (no "MSEC_" prefix) and
//   unencrypted packed records are refused in both directions (SendMsg,
//   SendMsgs outside state 7 and BuildBundle without encryption say false).
// - Sends return what the send down returned.
//
// A 31-bit group with Blowfish or DES in ECB mode is obfuscation for old
// peers, not security: run the connection inside TLS where it matters.
//
// Thread-safety: the layer's context table is locked, and each context
// locks its state, its bundle and its sends; handshake steps and packed
// sends therefore leave in order. Contexts are shared through
// CRefCountedPtr, so a send may hold one while the connection closes. No
// lock is held while a message goes up or a notice is given. InBundle is
// meant to be read from inside OnMsg on the delivering thread.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/comm/ChannelCipher.h"
#include "Brindle/comm/ContextTable.h"
#include "Brindle/comm/DiffieHellman.h"
#include "Brindle/comm/MsgLayer.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Brindle {

class CMsgSecurityContext;
class CMsgSecurityLayer;

class CMsgSecuritySink {
public:
    virtual ~CMsgSecuritySink() = default;
    virtual void OnHandShakeSuccess(CMsgSecurityContext* context) = 0;
    virtual void OnHandShakeFailed(CMsgSecurityContext* context) = 0;
};

class CMsgSecurityContext : public CChannelCipher {
public:
    enum STATE : int {
        MSEC_IDLE = 0,
        MSEC_INITIATED = 1,
        MSEC_P_KEY_SENT = 2,
        MSEC_I_KEY_SENT = 3,
        MSEC_P_TEST_SENT = 4,
        MSEC_I_TEST_SENT = 5,
        MSEC_SECURE = 7,
    };

    CMsgSecurityContext(CMsgSecurityLayer* layer, void* source);
    ~CMsgSecurityContext() override;

    void* GetSource() const { return m_source; }
    int GetState() const;
    int GetMethod() const;

    // false without a source; otherwise Reset, MSEC_INITIATE down, state 1;
    // the send's result.
    bool InitiateHandShake();
    // State 0, method 0, no cipher or key, no group, a fresh test string.
    void Reset();
    // Packed in state 7, unchanged otherwise.
    bool SendMsg(const CMsg& msg);
    // Every message of the range packed (encryption asked for) into one
    // MSEC_PACK message.
    bool SendMsgs(std::vector<CRefCountedPtr<CMsg>>::const_iterator first,
                  std::vector<CRefCountedPtr<CMsg>>::const_iterator last);
    // Adds a packed message to the outgoing bundle; false when encryption
    // is asked for outside state 7.
    bool BuildBundle(const CMsg& msg, bool encrypt);
    // Sends the bundle and empties it.
    bool SendBundle();
    bool InBundle() const { return m_inBundle.load(); }

    // Handles one received message.
    void OnMsg(const CMsg& msg);

    CRefCountedPtr<CRec> PackMessage(const CMsg& msg, bool encrypt);
    // The layer's MPACK variant; null when the bytes cannot be packed as
    // asked (an encryption that the cipher refuses).
    CRefCountedPtr<CRec> PackBuffer(const char* data, unsigned length, bool encrypt);
    // The bytes of a packed record; empty when it does not unpack.
    std::string UnpackBuffer(const CRec& record);
    CRefCountedPtr<CMsg> UnpackMessage(const CRec& record);

    // The layer is going away: later calls do nothing.
    void Detach();

private:
    struct Event;
    using Events = std::vector<Event>;

    void ResetLocked();
    // Strict mode is on and a handshake has succeeded on this connection.
    bool StrictLocked() const;
    bool SendDownLocked(const CMsg& msg);
    void FailLocked(const CVar& id, Events& events);
    bool HandshakeLocked(const CMsg& msg, Events& events);
    bool ReadMagicLocked(const CMsg& msg, std::string& test);
    std::string MagicLocked(const std::string& test);
    CRefCountedPtr<CRec> PackLocked(const char* data, unsigned length, bool encrypt);
    std::string UnpackLocked(const CRec& record);
    void Deliver(Events& events);

    mutable std::recursive_mutex m_lock;
    void* m_source;
    CMsgSecurityLayer* m_layer;
    int m_state = MSEC_IDLE;
    int m_method = 0;
    std::atomic<bool> m_inBundle{false};
    CMsg m_bundle;
    std::string m_test;
    CDiffieHellman<4> m_dh;
    bool m_secured = false;
};

class CMsgSecurityLayer : public CMsgLayer, public CMsgSecuritySink {
public:
    static constexpr unsigned DEFAULT_COMPRESSION_THRESHOLD = 1024;
    static constexpr unsigned DEFAULT_MESSAGE_LIMIT = 16u * 1024u * 1024u;

    CMsgSecurityLayer() = default;
    ~CMsgSecurityLayer() override;

    void SetPreferredMethod(int method) { m_method = method; }
    int GetPreferredMethod() const { return m_method; }
    void SetCompressionThreshold(unsigned bytes) { m_threshold = bytes; }
    unsigned GetCompressionThreshold() const { return m_threshold; }
    void SetMessageLimit(unsigned bytes) { m_limit = bytes; }
    unsigned GetMessageLimit() const { return m_limit; }
    void SetStrict(bool strict) { m_strict = strict; }
    bool GetStrict() const { return m_strict; }
    void SetNotify(CMsgSecuritySink* sink) { m_notify = sink; }

    CRefCountedPtr<CMsgSecurityContext> GetSecurityContext(void* source) const;

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnMsg(void* source, const CMsg& msg) override;
    bool SendMsg(void* source, const CMsg& msg) override;

    void OnHandShakeSuccess(CMsgSecurityContext* context) override;
    void OnHandShakeFailed(CMsgSecurityContext* context) override;

private:
    friend class CMsgSecurityContext;

    std::atomic<int> m_method{1};
    std::atomic<unsigned> m_threshold{DEFAULT_COMPRESSION_THRESHOLD};
    std::atomic<unsigned> m_limit{DEFAULT_MESSAGE_LIMIT};
    std::atomic<bool> m_strict{false};
    std::atomic<CMsgSecuritySink*> m_notify{nullptr};
    // Last, so that contexts are detached before the settings go.
    CContextTable<CMsgSecurityContext> m_contexts;
};

} // namespace Brindle
