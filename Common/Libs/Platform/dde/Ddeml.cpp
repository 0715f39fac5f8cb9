// The DDE management calls over the instances of DdeInstance.h.
#include "Platform/dde/Ddeml.h"

#include "Platform/dde/DdeInstance.h"
#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/DdeTables.h"

#include <algorithm>
#include <cstring>

using Platform::Dde::DataTable;
using Platform::Dde::Instance;
using Platform::Dde::StringTable;

namespace {

std::uintptr_t Id(HSZ hsz)
{
    return reinterpret_cast<std::uintptr_t>(hsz);
}

std::uintptr_t Id(HDDEDATA data)
{
    return reinterpret_cast<std::uintptr_t>(data);
}

std::uintptr_t Id(HCONV conv)
{
    return reinterpret_cast<std::uintptr_t>(conv);
}

} // namespace

UINT DdeInitialize(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD afCmd, DWORD ulRes)
{
    if (pidInst == nullptr || ulRes != 0)
        return DMLERR_INVALIDPARAMETER;
    if (*pidInst != 0) {
        auto instance = Instance::Find(*pidInst);
        if (!instance)
            return DMLERR_INVALIDPARAMETER;
        instance->Reinitialize(pfnCallback, afCmd);
        return DMLERR_NO_ERROR;
    }
    if (pfnCallback == nullptr)
        return DMLERR_INVALIDPARAMETER;
    std::shared_ptr<Instance> instance;
    const UINT result = Instance::Create(pfnCallback, afCmd, instance);
    if (result == DMLERR_NO_ERROR)
        *pidInst = instance->Id();
    return result;
}

BOOL DdeUninitialize(DWORD idInst)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return FALSE;
    instance->Uninitialize();
    return TRUE;
}

UINT DdeGetLastError(DWORD idInst)
{
    auto instance = Instance::Find(idInst);
    return instance ? instance->TakeError() : DMLERR_DLL_NOT_INITIALIZED;
}

DWORD DdeGetCallbackInstance()
{
    return Instance::Current();
}

int DdeGetEventFd(DWORD idInst)
{
    auto instance = Instance::Find(idInst);
    return instance ? instance->EventFd() : -1;
}

int DdeProcessPending(DWORD idInst, DWORD timeoutMs)
{
    auto instance = Instance::Find(idInst);
    return instance ? instance->ProcessPending(timeoutMs) : -1;
}

BOOL DdeSetQueueLimit(DWORD idInst, DWORD bytes)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return FALSE;
    if (bytes == 0) {
        instance->SetError(DMLERR_INVALIDPARAMETER);
        return FALSE;
    }
    instance->SetQueueLimit(bytes);
    return TRUE;
}

HDDEDATA DdeNameService(DWORD idInst, HSZ hsz1, HSZ /*hsz2*/, UINT afCmd)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return nullptr;
    bool done = false;
    if (afCmd & DNS_REGISTER) {
        done = hsz1 != nullptr && instance->RegisterService(Id(hsz1));
        if (hsz1 == nullptr)
            instance->SetError(DMLERR_INVALIDPARAMETER);
    } else if (afCmd & DNS_UNREGISTER) {
        done = instance->UnregisterService(Id(hsz1));
    } else if (afCmd & (DNS_FILTERON | DNS_FILTEROFF)) {
        instance->SetFilter((afCmd & DNS_FILTERON) != 0);
        done = true;
    } else {
        instance->SetError(DMLERR_INVALIDPARAMETER);
    }
    return done ? reinterpret_cast<HDDEDATA>(1) : nullptr;
}

HSZ DdeCreateStringHandle(DWORD idInst, LPCSTR psz, int iCodePage)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return nullptr;
    if (psz == nullptr || (iCodePage != 0 && iCodePage != CP_WINANSI)) {
        instance->SetError(DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    return reinterpret_cast<HSZ>(instance->CreateString(psz));
}

BOOL DdeFreeStringHandle(DWORD idInst, HSZ hsz)
{
    auto instance = Instance::Find(idInst);
    return instance && hsz != nullptr && instance->FreeString(Id(hsz)) ? TRUE : FALSE;
}

BOOL DdeKeepStringHandle(DWORD idInst, HSZ hsz)
{
    auto instance = Instance::Find(idInst);
    return instance && hsz != nullptr && instance->KeepString(Id(hsz)) ? TRUE : FALSE;
}

DWORD DdeQueryString(DWORD idInst, HSZ hsz, LPSTR psz, DWORD cchMax, int iCodePage)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return 0;
    std::string text;
    if (hsz == nullptr || (iCodePage != 0 && iCodePage != CP_WINANSI) || !StringTable::Get().Text(Id(hsz), text)) {
        instance->SetError(DMLERR_INVALIDPARAMETER);
        return 0;
    }
    if (psz == nullptr)
        return static_cast<DWORD>(text.size());
    if (cchMax == 0)
        return 0;
    const std::size_t length = std::min<std::size_t>(text.size(), cchMax - 1);
    std::memcpy(psz, text.data(), length);
    psz[length] = '\0';
    return static_cast<DWORD>(length);
}

int DdeCmpStringHandles(HSZ hsz1, HSZ hsz2)
{
    if (hsz1 == hsz2)
        return 0;
    if (hsz1 == nullptr)
        return -1;
    if (hsz2 == nullptr)
        return 1;
    std::string a;
    std::string b;
    StringTable::Get().Text(Id(hsz1), a);
    StringTable::Get().Text(Id(hsz2), b);
    const int order = Platform::Dde::FoldCase(a).compare(Platform::Dde::FoldCase(b));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

HDDEDATA DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff, HSZ hszItem, UINT wFmt, UINT afCmd)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return nullptr;
    return reinterpret_cast<HDDEDATA>(instance->CreateData(pSrc, cb, cbOff, Id(hszItem), wFmt, afCmd));
}

HDDEDATA DdeAddData(HDDEDATA hData, LPBYTE pSrc, DWORD cb, DWORD cbOff)
{
    auto data = DataTable::Get().Find(Id(hData));
    if (!data)
        return nullptr;
    const std::size_t end = std::size_t(cbOff) + cb;
    if (end > Platform::Dde::MAX_DATA) {
        if (auto instance = Instance::Find(data->owner))
            instance->SetError(DMLERR_MEMORY_ERROR);
        return nullptr;
    }
    if (end > data->bytes.size())
        data->bytes.resize(end);
    if (pSrc != nullptr && cb > 0)
        std::memcpy(data->bytes.data() + cbOff, pSrc, cb);
    return hData;
}

DWORD DdeGetData(HDDEDATA hData, LPBYTE pDst, DWORD cbMax, DWORD cbOff)
{
    auto data = DataTable::Get().Find(Id(hData));
    if (!data)
        return 0;
    if (pDst == nullptr)
        return static_cast<DWORD>(data->bytes.size());
    if (cbOff >= data->bytes.size())
        return 0;
    const std::size_t length = std::min<std::size_t>(cbMax, data->bytes.size() - cbOff);
    std::memcpy(pDst, data->bytes.data() + cbOff, length);
    return static_cast<DWORD>(length);
}

LPBYTE DdeAccessData(HDDEDATA hData, LPDWORD pcbDataSize)
{
    auto data = DataTable::Get().Find(Id(hData));
    if (!data)
        return nullptr;
    if (pcbDataSize != nullptr)
        *pcbDataSize = static_cast<DWORD>(data->bytes.size());
    if (data->bytes.capacity() == 0)
        data->bytes.reserve(1);
    return data->bytes.data();
}

BOOL DdeUnaccessData(HDDEDATA hData)
{
    return DataTable::Get().Find(Id(hData)) ? TRUE : FALSE;
}

BOOL DdeFreeDataHandle(HDDEDATA hData)
{
    return DataTable::Get().Remove(Id(hData)) ? TRUE : FALSE;
}

HCONV DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic, PCONVCONTEXT /*pCC*/)
{
    auto instance = Instance::Find(idInst);
    if (!instance)
        return nullptr;
    return reinterpret_cast<HCONV>(instance->Connect(Id(hszService), Id(hszTopic)));
}

BOOL DdeDisconnect(HCONV hConv)
{
    auto instance = Instance::FindByConversation(Id(hConv));
    return instance && instance->Disconnect(Id(hConv)) ? TRUE : FALSE;
}

HDDEDATA DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv, HSZ hszItem, UINT wFmt, UINT wType,
                              DWORD dwTimeout, LPDWORD pdwResult)
{
    if (pdwResult != nullptr)
        *pdwResult = 0;
    auto instance = Instance::FindByConversation(Id(hConv));
    if (!instance)
        return nullptr;
    return instance->Transact(Id(hConv), Id(hszItem), wFmt, wType, pData, cbData, dwTimeout, pdwResult);
}

BOOL DdeAbandonTransaction(DWORD idInst, HCONV hConv, DWORD idTransaction)
{
    auto instance = Instance::Find(idInst);
    return instance && instance->Abandon(Id(hConv), idTransaction) ? TRUE : FALSE;
}

BOOL DdePostAdvise(DWORD idInst, HSZ hszTopic, HSZ hszItem)
{
    auto instance = Instance::Find(idInst);
    return instance && instance->PostAdvise(Id(hszTopic), Id(hszItem)) ? TRUE : FALSE;
}
