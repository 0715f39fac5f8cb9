#include "Brindle/comm/MsgSecurityLayer.h"

#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/MsgPack.h"

#include <list>
#include <string_view>

namespace Brindle {

namespace {

const char* const kInitiate = "MSEC_INITIATE";
const char* const kPKeyExch = "MSEC_P_KEY_EXCH";
const char* const kIKeyExch = "MSEC_I_KEY_EXCH";
const char* const kPKeyTest = "MSEC_P_KEY_TEST";
const char* const kIKeyTest = "MSEC_I_KEY_TEST";
const char* const kPHandshake = "MSEC_P_HANDSHAKE";
const char* const kFailed = "MSEC_HANDSHAKE_FAILED";
const char* const kPack = "MSEC_PACK";

bool IsSecurityMessage(const CMsg& msg)
{
    return std::string_view(msg.get_header().get_id().get_value()).starts_with("MSEC_");
}

CChannelCipher::CIPHER CipherOf(int method)
{
    if (method == 1)
        return CChannelCipher::CIPHER_BLOWFISH;
    if (method >= 2 && method <= 4)
        return CChannelCipher::CIPHER_SETTING_ENCODER;
    return CChannelCipher::CIPHER_NONE;
}

} // namespace

struct CMsgSecurityContext::Event {
    enum KIND { UP, SUCCESS, FAILED } kind;
    CRefCountedPtr<CMsg> msg;
    bool more = false;
};

// ------------------------------------------------------------------ layer

CMsgSecurityLayer::~CMsgSecurityLayer() = default;

CRefCountedPtr<CMsgSecurityContext> CMsgSecurityLayer::GetSecurityContext(void* source) const
{
    return m_contexts.Find(source);
}

void CMsgSecurityLayer::OnOpen(void* source)
{
    m_contexts.Replace(source, CRefCountedPtr<CMsgSecurityContext>(new CMsgSecurityContext(this, source)));
    CallUpOpen(source);
}

void CMsgSecurityLayer::OnClose(void* source)
{
    m_contexts.Remove(source);
    CallUpClose(source);
}

void CMsgSecurityLayer::OnMsg(void* source, const CMsg& msg)
{
    m_contexts
        .FindOrMake(source, [&] { return CRefCountedPtr<CMsgSecurityContext>(new CMsgSecurityContext(this, source)); })
        ->OnMsg(msg);
}

bool CMsgSecurityLayer::SendMsg(void* source, const CMsg& msg)
{
    if (IsList(source)) {
        std::list<void*> members;
        GetSourceList(source, members);
        bool all = true;
        for (void* member : members) {
            const CRefCountedPtr<CMsgSecurityContext> context = GetSecurityContext(member);
            all = (context.NotNull() && context->SendMsg(msg)) && all;
        }
        return all;
    }
    const CRefCountedPtr<CMsgSecurityContext> context = GetSecurityContext(source);
    return context.NotNull() && context->SendMsg(msg);
}

void CMsgSecurityLayer::OnHandShakeSuccess(CMsgSecurityContext* context)
{
    if (CMsgSecuritySink* sink = m_notify.load())
        sink->OnHandShakeSuccess(context);
}

void CMsgSecurityLayer::OnHandShakeFailed(CMsgSecurityContext* context)
{
    if (CMsgSecuritySink* sink = m_notify.load())
        sink->OnHandShakeFailed(context);
}

// ---------------------------------------------------------------- context

CMsgSecurityContext::CMsgSecurityContext(CMsgSecurityLayer* layer, void* source)
    : m_source(source), m_layer(layer), m_bundle(CVar(kPack)), m_test(DH_RandomKeyText())
{
}

CMsgSecurityContext::~CMsgSecurityContext() = default;

void CMsgSecurityContext::Detach()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_layer = nullptr;
}

int CMsgSecurityContext::GetState() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_state;
}

int CMsgSecurityContext::GetMethod() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_method;
}

void CMsgSecurityContext::ResetLocked()
{
    m_state = MSEC_IDLE;
    m_method = 0;
    ClearCipher();
    m_dh.Clear();
    m_test = DH_RandomKeyText();
}

void CMsgSecurityContext::Reset()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    ResetLocked();
}

bool CMsgSecurityContext::StrictLocked() const
{
    return m_secured && m_layer != nullptr && m_layer->GetStrict();
}

bool CMsgSecurityContext::SendDownLocked(const CMsg& msg)
{
    return m_layer != nullptr && m_layer->CallDownMsg(m_source, msg);
}

bool CMsgSecurityContext::InitiateHandShake()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_source == nullptr)
        return false;
    ResetLocked();
    m_state = MSEC_INITIATED;
    return SendDownLocked(CMsg(CVar(kInitiate)));
}

bool CMsgSecurityContext::SendMsg(const CMsg& msg)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_layer == nullptr)
        return false;
    if (m_state != MSEC_SECURE) {
        if (StrictLocked() && !IsSecurityMessage(msg))
            return false;
        return SendDownLocked(msg);
    }
    const CRefCountedPtr<CRec> packed = PackMessage(msg, true);
    if (packed.IsNull())
        return false;
    CMsg bundle{CVar(kPack)};
    bundle.add(*packed);
    return SendDownLocked(bundle);
}

bool CMsgSecurityContext::SendMsgs(std::vector<CRefCountedPtr<CMsg>>::const_iterator first,
                                   std::vector<CRefCountedPtr<CMsg>>::const_iterator last)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // Outside state 7 the records would travel unencrypted.
    if (m_state != MSEC_SECURE && StrictLocked())
        return false;
    CMsg bundle{CVar(kPack)};
    for (; first != last; ++first) {
        if (first->IsNull())
            continue;
        const CRefCountedPtr<CRec> packed = PackMessage(**first, true);
        if (packed.IsNull())
            return false;
        bundle.add(*packed);
    }
    return SendDownLocked(bundle);
}

bool CMsgSecurityContext::BuildBundle(const CMsg& msg, bool encrypt)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (encrypt && m_state != MSEC_SECURE)
        return false;
    if (!encrypt && StrictLocked())
        return false;
    const CRefCountedPtr<CRec> packed = PackMessage(msg, encrypt);
    if (packed.IsNull())
        return false;
    m_bundle.add(*packed);
    return true;
}

bool CMsgSecurityContext::SendBundle()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const bool sent = SendDownLocked(m_bundle);
    m_bundle = CMsg(CVar(kPack));
    return sent;
}

CRefCountedPtr<CRec> CMsgSecurityContext::PackMessage(const CMsg& msg, bool encrypt)
{
    std::string text;
    try {
        text = msg.to_string();
    } catch (const std::exception&) {
        return {};
    }
    return PackBuffer(text.data(), static_cast<unsigned>(text.size()), encrypt);
}

CRefCountedPtr<CRec> CMsgSecurityContext::PackBuffer(const char* data, unsigned length, bool encrypt)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return PackLocked(data, length, encrypt);
}

CRefCountedPtr<CRec> CMsgSecurityContext::PackLocked(const char* data, unsigned length, bool encrypt)
{
    const unsigned threshold =
        m_layer != nullptr ? m_layer->GetCompressionThreshold() : CMsgSecurityLayer::DEFAULT_COMPRESSION_THRESHOLD;
    std::string body;
    const bool compressed = length > threshold && CompressTo(data, length, body);
    if (!compressed)
        body.assign(data, length);
    CMsgPackRecord fields;
    fields.set_size(static_cast<int>(length));
    fields.set_compression(compressed ? 1 : 0);
    fields.set_compressed_size(static_cast<int>(body.size()));
    if (m_state == MSEC_SECURE) {
        const std::size_t pad = 32 - body.size() % 32;
        body.append(pad, ' ');
        fields.set_packing(static_cast<int>(pad));
        if (encrypt && EncryptsData()) {
            if (!EncryptBuffer(body.data(), static_cast<int>(body.size())))
                return {};
            fields.set_encrypt(1);
        } else if (encrypt && !CanEncrypt()) {
            return {};
        }
    }
    fields.set_buffer(MimeEncode(body.data(), static_cast<unsigned>(body.size())));
    fields.set_encoded_size(static_cast<int>(fields.get_buffer().size()));
    return CRefCountedPtr<CRec>(new CRec(fields.ToRecord()));
}

std::string CMsgSecurityContext::UnpackBuffer(const CRec& record)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return UnpackLocked(record);
}

std::string CMsgSecurityContext::UnpackLocked(const CRec& record)
{
    if (record.get_id() != CMsgPackRecord::ID)
        return {};
    CMsgPackRecord fields;
    fields.FromRecord(record);
    LogUnpackSizes(fields);
    const unsigned limit = m_layer != nullptr ? m_layer->GetMessageLimit() : CMsgSecurityLayer::DEFAULT_MESSAGE_LIMIT;
    if (fields.get_size() < 0 || static_cast<unsigned>(fields.get_size()) > limit || fields.get_packing() < 0 ||
        fields.get_buffer().size() / 4 * 3 > limit)
        return {};
    std::string body = MimeDecode(fields.get_buffer().data(), static_cast<unsigned>(fields.get_buffer().size()));
    if (fields.get_encrypt() == 1) {
        if (m_state != MSEC_SECURE || !DecryptBuffer(body.data(), static_cast<int>(body.size())))
            return {};
    }
    if (static_cast<std::size_t>(fields.get_packing()) > body.size())
        return {};
    body.resize(body.size() - static_cast<std::size_t>(fields.get_packing()));
    if (fields.get_compression() == 1)
        return Decompress(body.data(), static_cast<unsigned>(body.size()), static_cast<unsigned>(fields.get_size()));
    return body;
}

CRefCountedPtr<CMsg> CMsgSecurityContext::UnpackMessage(const CRec& record)
{
    const std::string text = UnpackBuffer(record);
    CRefCountedPtr<CMsg> msg(new CMsg);
    if (text.empty() || !msg->parse(text))
        return {};
    return msg;
}

void CMsgSecurityContext::OnMsg(const CMsg& msg)
{
    m_inBundle = false;
    if (!IsSecurityMessage(msg)) {
        bool refuse;
        CMsgSecurityLayer* layer;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            layer = m_layer;
            refuse = layer == nullptr || StrictLocked();
        }
        if (layer != nullptr && refuse)
            CommLog::Write(CommLog::SEVERITY_COMM, "CMsgSecurityLayer", "Plain message refused after the handshake: " +
                                                     msg.get_header().get_id().get_value());
        else if (layer != nullptr)
            layer->CallUpMsg(m_source, msg);
        return;
    }
    Events events;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_layer == nullptr)
            return;
        if (msg.get_header().get_id() == kPack) {
            const bool strict = StrictLocked();
            for (auto it = msg.begin(); it != msg.end(); ++it) {
                CRefCountedPtr<CMsg> inner(new CMsg);
                const std::string text = UnpackLocked(*it);
                if (strict && it->get("4").get_int() != 1) {
                    CommLog::Write(CommLog::SEVERITY_COMM, "CMsgSecurityLayer", "Unencrypted packed message refused");
                    continue;
                }
                if (text.empty() || !inner->parse(text)) {
                    CommLog::Write(CommLog::SEVERITY_COMM, "CMsgSecurityLayer", "Cannot unpack a packed message");
                    continue;
                }
                inner->set_source(msg.get_source());
                events.push_back({Event::UP, inner, false});
            }
            if (!events.empty())
                for (std::size_t i = 0; i + 1 < events.size(); ++i)
                    events[i].more = true;
        } else if (!HandshakeLocked(msg, events)) {
            FailLocked(msg.get_header().get_id(), events);
        }
    }
    Deliver(events);
}

void CMsgSecurityContext::FailLocked(const CVar& id, Events& events)
{
    ResetLocked();
    if (id != kFailed)
        SendDownLocked(CMsg(CVar(kFailed)));
    events.push_back({Event::FAILED, {}, false});
}

bool CMsgSecurityContext::ReadMagicLocked(const CMsg& msg, std::string& test)
{
    const std::string& magic = msg.get_header().get("Magic").get_value();
    std::string decoded = MimeDecode(magic.data(), static_cast<unsigned>(magic.size()));
    if (decoded.size() != KeyLength || !DecryptBuffer(decoded.data(), static_cast<int>(decoded.size())))
        return false;
    test.assign(decoded.rbegin(), decoded.rend());
    return true;
}

std::string CMsgSecurityContext::MagicLocked(const std::string& test)
{
    std::string copy = test;
    if (!EncryptBuffer(copy.data(), static_cast<int>(copy.size())))
        return {};
    return MimeEncode(copy.data(), static_cast<unsigned>(copy.size()));
}

bool CMsgSecurityContext::HandshakeLocked(const CMsg& msg, Events& events)
{
    const CVar& id = msg.get_header().get_id();
    const CRec& header = msg.get_header();
    const auto agree = [&]() {
        CDiffieHellman<4> peer;
        long shared[4];
        if (!peer.from_string(header.get("DiffieHellman").get_value()) || !m_dh.CalculateKey(peer, shared))
            return false;
        SetCipher(CipherOf(m_method), CDiffieHellman<4>::GenerateKey(shared), false);
        return true;
    };
    if (m_state == MSEC_IDLE && id == kInitiate) {
        ResetLocked();
        m_method = m_layer->GetPreferredMethod();
        m_dh.InitializeKeys();
        CMsg answer{CVar(kPKeyExch)};
        answer.get_header().set("Method") = CVar(m_method);
        answer.get_header().set("DiffieHellman") = m_dh.to_string();
        m_state = MSEC_P_KEY_SENT;
        SendDownLocked(answer);
        return true;
    }
    if (m_state == MSEC_INITIATED && id == kPKeyExch) {
        m_method = header.get("Method").get_int();
        if (!agree())
            return false;
        CMsg answer{CVar(kIKeyExch)};
        answer.get_header().set("DiffieHellman") = m_dh.to_string();
        m_state = MSEC_I_KEY_SENT;
        SendDownLocked(answer);
        return true;
    }
    if (m_state == MSEC_P_KEY_SENT && id == kIKeyExch) {
        if (!agree())
            return false;
        const std::string magic = MagicLocked(m_test);
        if (magic.empty())
            return false;
        CMsg answer{CVar(kPKeyTest)};
        answer.get_header().set("Magic") = magic;
        m_state = MSEC_P_TEST_SENT;
        SendDownLocked(answer);
        return true;
    }
    if (m_state == MSEC_I_KEY_SENT && id == kPKeyTest) {
        std::string test;
        if (!ReadMagicLocked(msg, test))
            return false;
        m_test = test;
        const std::string magic = MagicLocked(m_test);
        if (magic.empty())
            return false;
        CMsg answer{CVar(kIKeyTest)};
        answer.get_header().set("Magic") = magic;
        m_state = MSEC_I_TEST_SENT;
        SendDownLocked(answer);
        return true;
    }
    if (m_state == MSEC_P_TEST_SENT && id == kIKeyTest) {
        std::string test;
        if (!ReadMagicLocked(msg, test) || test != m_test)
            return false;
        m_state = MSEC_SECURE;
        m_secured = true;
        SendDownLocked(CMsg(CVar(kPHandshake)));
        events.push_back({Event::SUCCESS, {}, false});
        return true;
    }
    if (m_state == MSEC_I_TEST_SENT && id == kPHandshake) {
        m_state = MSEC_SECURE;
        m_secured = true;
        events.push_back({Event::SUCCESS, {}, false});
        return true;
    }
    return false;
}

void CMsgSecurityContext::Deliver(Events& events)
{
    CMsgSecurityLayer* layer;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        layer = m_layer;
    }
    if (layer == nullptr)
        return;
    for (Event& event : events) {
        switch (event.kind) {
        case Event::UP:
            m_inBundle = event.more;
            layer->CallUpMsg(m_source, *event.msg);
            break;
        case Event::SUCCESS:
            layer->OnHandShakeSuccess(this);
            break;
        case Event::FAILED:
            layer->OnHandShakeFailed(this);
            break;
        }
    }
    m_inBundle = false;
}

} // namespace Brindle
