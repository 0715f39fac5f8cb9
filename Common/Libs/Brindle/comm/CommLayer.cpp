#include "Brindle/comm/CommLayer.h"

#include "Brindle/comm/CommLog.h"

#include <sstream>

namespace Brindle {

namespace {

constexpr const char* kLayerSource = "CCommLayer";

void Report(const std::string& text)
{
    CommLog::Write(CommLog::SEVERITY_COMM, kLayerSource, text);
}

// "<prefix><source> buffer = <bytes>", the source in pointer notation.
std::string SourceText(const char* prefix, void* source, const std::string& bytes)
{
    std::ostringstream text;
    text << prefix << source << " buffer = ";
    text.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return text.str();
}

} // namespace

CCommLayer::~CCommLayer()
{
    if (CCommLayer* down = m_down.exchange(nullptr, std::memory_order_acq_rel))
        ForgetUpLink(down, this);
    if (CCommLayer* up = m_up.exchange(nullptr, std::memory_order_acq_rel))
        up->RemoveChain(this);
}

void CCommLayer::ForgetUpLink(CCommLayer* down, CCommLayer* up)
{
    if (down == nullptr)
        return;
    CCommLayer* expected = up;
    down->m_up.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void CCommLayer::SetChain(CCommLayer* up)
{
    CCommLayer* old = m_up.exchange(up, std::memory_order_acq_rel);
    if (old != nullptr && old != up)
        old->RemoveChain(this);
    if (up != nullptr)
        up->SetDownChain(this);
}

void CCommLayer::RemoveChain(CCommLayer* down)
{
    CCommLayer* expected = down;
    m_down.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void* CCommLayer::GetSource()
{
    return this;
}

void CCommLayer::SetDownChain(CCommLayer* down)
{
    m_down.store(down, std::memory_order_release);
}

CCommLayer* CCommLayer::GetUpLayer(void* /*source*/)
{
    return UpLink();
}

CCommLayer* CCommLayer::GetDownLayer(void* /*source*/)
{
    return DownLink();
}

void CCommLayer::OnOpen(void* source)
{
    CallUpOpen(source);
}

void CCommLayer::OnClose(void* source)
{
    CallUpClose(source);
}

void CCommLayer::OnData(void* source, const std::string& data)
{
    CallUpData(source, data);
}

void CCommLayer::OnError(void* source, unsigned long error, const std::string& text)
{
    CallUpError(source, error, text);
}

bool CCommLayer::SendData(void* source, const std::string& data)
{
    if (IsList(source)) {
        std::list<void*> members;
        GetSourceList(source, members);
        for (void* member : members)
            SendData(member, data);
        return true;
    }
    return CallDownData(source, data);
}

bool CCommLayer::IsList(void* source)
{
    return CallDownIsList(source);
}

bool CCommLayer::GetSourceList(void* source, std::list<void*>& sources)
{
    return CallDownGetSourceList(source, sources);
}

void CCommLayer::CallUpOpen(void* source)
{
    CCommLayer* up = GetUpLayer(source);
    if (up == nullptr) {
        Report("Cannot call up open");
        return;
    }
    try {
        up->OnOpen(source);
    } catch (...) {
        // A fault above must not unwind into the transport.
    }
}

void CCommLayer::CallUpClose(void* source)
{
    CCommLayer* up = GetUpLayer(source);
    if (up == nullptr) {
        Report("Cannot call up close");
        return;
    }
    try {
        up->OnClose(source);
    } catch (...) {
    }
}

void CCommLayer::CallUpData(void* source, const std::string& data)
{
    CCommLayer* up = GetUpLayer(source);
    if (up == nullptr) {
        Report(SourceText("Cannot call up data, source = ", source, data));
        return;
    }
    try {
        up->OnData(source, data);
    } catch (...) {
    }
}

void CCommLayer::CallUpError(void* source, unsigned long error, const std::string& text)
{
    CCommLayer* up = GetUpLayer(source);
    if (up == nullptr) {
        Report(SourceText("Cannot call up error, source = ", source, text));
        return;
    }
    try {
        up->OnError(source, error, text);
    } catch (...) {
    }
}

bool CCommLayer::CallDownData(void* source, const std::string& data)
{
    CCommLayer* down = GetDownLayer(source);
    if (down == nullptr) {
        Report("Cannot call down data");
        return false;
    }
    return down->SendData(source, data);
}

bool CCommLayer::CallDownIsList(void* source)
{
    CCommLayer* down = GetDownLayer(source);
    return down != nullptr && down->IsList(source);
}

bool CCommLayer::CallDownGetSourceList(void* source, std::list<void*>& sources)
{
    CCommLayer* down = GetDownLayer(source);
    return down != nullptr && down->GetSourceList(source, sources);
}

} // namespace Brindle
