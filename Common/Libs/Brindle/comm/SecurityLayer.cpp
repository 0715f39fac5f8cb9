#include "Brindle/comm/SecurityLayer.h"

#include "Brindle/base/Exception.h"
#include "Brindle/comm/Codec.h"
#include "Platform/WinError.h"

#include <algorithm>
#include <ostream>

namespace Brindle {

namespace {

CChannelCipher::CIPHER CipherOf(char method)
{
    switch (method) {
    case ENCRYPTION_BLOWFISH:
        return CChannelCipher::CIPHER_BLOWFISH;
    case ENCRYPTION_CRYPT:
    case ENCRYPTION_CRYPT_3:
    case ENCRYPTION_CRYPT_4:
        return CChannelCipher::CIPHER_SETTING_ENCODER;
    default:
        return CChannelCipher::CIPHER_NONE;
    }
}

} // namespace

// What a context hands up once its lock is released.
struct CSecurityContext::Event {
    enum KIND { PAYLOAD, ERROR, SUCCESS, FAILED } kind;
    std::string text;
};

// ------------------------------------------------------------------ layer

CSecurityLayer::CSecurityLayer() = default;

CSecurityLayer::~CSecurityLayer() = default;

const char* CSecurityLayer::StateString(int state)
{
    switch (state) {
    case CSecurityContext::P_HANDSHAKE:
        return "P_HANDSHAKE";
    case CSecurityContext::WAIT_FOR_SYNC:
        return "WAIT_FOR_SYNC";
    case CSecurityContext::P_KEY_EXCH:
        return "P_KEY_EXCH";
    case CSecurityContext::I_KEY_EXCH:
        return "I_KEY_EXCH";
    case CSecurityContext::P_KEY_TEST:
        return "P_KEY_TEST";
    case CSecurityContext::I_KEY_TEST:
        return "I_KEY_TEST";
    case CSecurityContext::I_SYNC:
        return "I_SYNC";
    case CSecurityContext::SECURE_TX:
        return "SECURE_TX";
    default:
        return "<unknown>";
    }
}

CRefCountedPtr<CSecurityContext> CSecurityLayer::GetSecurityContext(void* source) const
{
    return m_contexts.Find(source);
}

void CSecurityLayer::OnOpen(void* source)
{
    m_contexts.Replace(source, CRefCountedPtr<CSecurityContext>(new CSecurityContext(this, source)));
    CallUpOpen(source);
}

void CSecurityLayer::OnClose(void* source)
{
    m_contexts.Remove(source);
    CallUpClose(source);
}

void CSecurityLayer::OnData(void* source, const std::string& data)
{
    const CRefCountedPtr<CSecurityContext> context = GetSecurityContext(source);
    if (context.NotNull())
        context->OnData(data);
}

bool CSecurityLayer::SendData(void* source, const std::string& data)
{
    // A listener's source reaches each of its connections through its own
    // context (the base fans out and calls back here per member).
    if (IsList(source))
        return CCommLayer::SendData(source, data);
    const CRefCountedPtr<CSecurityContext> context = GetSecurityContext(source);
    return context.NotNull() && context->SendData(data);
}

void CSecurityLayer::OnHandShakeSuccess(CSecurityContext* context)
{
    if (CSecurityLayerSink* sink = m_notify.load())
        sink->OnHandShakeSuccess(context);
}

void CSecurityLayer::OnHandShakeFailed(CSecurityContext* context)
{
    if (CSecurityLayerSink* sink = m_notify.load())
        sink->OnHandShakeFailed(context);
}

// ---------------------------------------------------------------- context

CSecurityContext::CSecurityContext(CSecurityLayer* layer, void* source) : m_layer(layer), m_source(source)
{
    m_packet.SetContext(this);
    if (layer != nullptr)
        m_packet.SetLimit(layer->GetFrameLimit());
}

CSecurityContext::~CSecurityContext() = default;

void CSecurityContext::Detach()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_layer = nullptr;
}

int CSecurityContext::GetState() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_state;
}

char CSecurityContext::GetMethod() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_method;
}

bool CSecurityContext::SetEncryption(char method, const std::string& key)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (method != ENCRYPTION_PLAIN && key.size() != KeyLength)
        return false;
    m_method = method;
    SetCipher(CipherOf(method), key, method == ENCRYPTION_PLAIN);
    if (m_layer != nullptr)
        if (std::ostream* trace = m_layer->m_trace.load()) {
            std::lock_guard<std::mutex> traceGuard(m_layer->m_traceLock);
            *trace << "Setting key to (" << key.size() << " characters withheld) and method to " << method << '\n';
        }
    return true;
}

bool CSecurityContext::SendPacketLocked(char type, char method, const std::string& data, bool compress, bool encrypt)
{
    if (m_layer == nullptr)
        return false;
    CProtocolPacket packet;
    packet.SetContext(this);
    if (!packet.Create(type, method, data, compress, encrypt))
        return false;
    return m_layer->CallDownData(m_source, packet.GetBuffer());
}

void CSecurityContext::ResetLocked(bool notifyPeer, Events& events)
{
    if (m_state != WAIT_FOR_SYNC) {
        events.push_back({Event::FAILED, {}});
        if (notifyPeer)
            SendPacketLocked(WAIT_FOR_SYNC, ENCRYPTION_NONE, {}, false, false);
    }
    m_state = WAIT_FOR_SYNC;
    m_packet.Reset();
    m_input.clear();
    m_dh.Clear();
    m_test.clear();
    m_secured = false;
    ClearCipher();
    m_method = m_layer != nullptr ? m_layer->GetPreferredMethod() : static_cast<char>(ENCRYPTION_BLOWFISH);
}

void CSecurityContext::Reset()
{
    Events events;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        ResetLocked(true, events);
    }
    Deliver(events);
}

bool CSecurityContext::InitiateHandShake()
{
    Events events;
    bool sent;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        ResetLocked(true, events);
        m_state = I_SYNC;
        sent = SendPacketLocked(I_SYNC, m_method, {}, false, false);
    }
    Deliver(events);
    return sent;
}

bool CSecurityContext::SendData(const std::string& data)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_state != SECURE_TX || m_layer == nullptr)
        return false;
    return SendPacketLocked(SECURE_TX, m_method, data, data.size() > m_layer->GetCompressionThreshold(), true);
}

void CSecurityContext::FailLocked(const std::string& text, Events& events)
{
    // The reset clears the input; keep what follows the failed frame.
    std::string rest = std::move(m_input);
    ResetLocked(true, events);
    m_input = std::move(rest);
    events.push_back({Event::ERROR, text});
}

bool CSecurityContext::OnData(const std::string& bytes)
{
    Events events;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_layer == nullptr)
            return false;
        m_input.append(bytes);
        m_packet.SetLimit(m_layer->GetFrameLimit());
        std::ostream* trace = m_layer->m_trace.load();
        m_packet.SetTrace(trace);
        while (!m_input.empty()) {
            std::size_t used;
            try {
                if (trace != nullptr) {
                    std::lock_guard<std::mutex> traceGuard(m_layer->m_traceLock);
                    used = m_packet.Parse(m_input);
                } else {
                    used = m_packet.Parse(m_input);
                }
            } catch (const CException& e) {
                // A frame that arrived whole is stepped over. After a bad
                // header or a length above the limit nothing tells where
                // the next frame starts: what is here is dropped, and the
                // reset notice makes the peer start again.
                const std::uint64_t length = m_packet.GetFrameLength();
                if (length > 0 && length <= m_input.size())
                    m_input.erase(0, static_cast<std::size_t>(length));
                else
                    m_input.clear();
                FailLocked(e.what(), events);
                continue;
            }
            if (used == CProtocolPacket::NOT_ENOUGH)
                break;
            m_input.erase(0, used);
            if (!OnPacketLocked(events))
                FailLocked("OnPacket error!", events);
            m_packet.Reset();
        }
    }
    Deliver(events);
    return true;
}

bool CSecurityContext::OnPacketLocked(Events& events)
{
    const int type = static_cast<unsigned char>(m_packet.GetType());
    if (type == WAIT_FOR_SYNC) {
        // A reset notice, in any state: go idle without answering.
        ResetLocked(false, events);
        return true;
    }
    const auto readPeer = [this](CDiffieHellman<4>& peer, long* shared) {
        return peer.from_string(m_packet.GetBuffer()) && m_dh.CalculateKey(peer, shared);
    };
    switch (m_state) {
    case SECURE_TX:
        if (type != SECURE_TX)
            return false;
        if (m_layer->GetStrict() && m_secured && EncryptsData() && !m_packet.IsEncrypted())
            return false;
        events.push_back({Event::PAYLOAD, std::move(m_packet.GetBuffer())});
        return true;
    case WAIT_FOR_SYNC:
        if (type != I_SYNC)
            return false;
        m_method = m_layer->GetPreferredMethod();
        m_dh.InitializeKeys();
        m_state = P_KEY_EXCH;
        return SendPacketLocked(P_KEY_EXCH, m_method, m_dh.to_string(), false, false);
    case I_SYNC: {
        if (type != P_KEY_EXCH)
            return false;
        CDiffieHellman<4> peer;
        long shared[4];
        if (!readPeer(peer, shared) || !SetEncryption(m_packet.GetMethod(), CDiffieHellman<4>::GenerateKey(shared)))
            return false;
        m_state = I_KEY_EXCH;
        return SendPacketLocked(I_KEY_EXCH, m_method, m_dh.to_string(), false, false);
    }
    case P_KEY_EXCH: {
        if (type != I_KEY_EXCH)
            return false;
        CDiffieHellman<4> peer;
        long shared[4];
        if (!readPeer(peer, shared) || !SetEncryption(m_method, CDiffieHellman<4>::GenerateKey(shared)))
            return false;
        m_test = DH_RandomKeyText();
        m_state = P_KEY_TEST;
        return SendPacketLocked(P_KEY_TEST, m_method, m_test, false, true);
    }
    case I_KEY_EXCH: {
        if (type != P_KEY_TEST)
            return false;
        std::string reversed(m_packet.GetBuffer().rbegin(), m_packet.GetBuffer().rend());
        m_state = I_KEY_TEST;
        return SendPacketLocked(I_KEY_TEST, m_method, reversed, false, true);
    }
    case P_KEY_TEST: {
        if (type != I_KEY_TEST)
            return false;
        const std::string reversed(m_packet.GetBuffer().rbegin(), m_packet.GetBuffer().rend());
        if (m_test.empty() || reversed != m_test)
            return false;
        m_state = SECURE_TX;
        m_secured = true;
        if (SendPacketLocked(P_HANDSHAKE, m_method, {}, false, false))
            events.push_back({Event::SUCCESS, {}});
        return true;
    }
    case I_KEY_TEST:
        if (type != P_HANDSHAKE)
            return false;
        m_state = SECURE_TX;
        m_secured = true;
        events.push_back({Event::SUCCESS, {}});
        return true;
    default:
        return false;
    }
}

void CSecurityContext::Deliver(Events& events)
{
    CSecurityLayer* layer;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        layer = m_layer;
    }
    if (layer == nullptr)
        return;
    for (Event& event : events) {
        switch (event.kind) {
        case Event::PAYLOAD:
            layer->CallUpData(m_source, event.text);
            break;
        case Event::ERROR:
            layer->CallUpError(m_source, ERROR_INVALID_DATA, event.text);
            break;
        case Event::SUCCESS:
            layer->OnHandShakeSuccess(this);
            break;
        case Event::FAILED:
            layer->OnHandShakeFailed(this);
            break;
        }
    }
}

} // namespace Brindle
