#include "Platform/Registry.h"

#include "Platform/RegistryStore.h"

#include <cstring>
#include <mutex>
#include <strings.h>
#include <unistd.h>
#include <unordered_map>

using Platform::RegistryRoot;
using Platform::RegistryStore;
using Platform::RegKeyRef;

namespace {

struct OpenKey {
    RegistryRoot root = RegistryRoot::CurrentUser;
    RegKeyRef ref;
    REGSAM access = KEY_ALL_ACCESS;
};

// The open handles of the process. Handle values count up and are never
// reused; they stay far below the predefined keys' values.
class HandleTable {
public:
    HKEY Add(const OpenKey& key)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_next += 4;
        m_keys.emplace(m_next, key);
        return reinterpret_cast<HKEY>(m_next);
    }
    bool Find(HKEY handle, OpenKey* key)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        auto it = m_keys.find(reinterpret_cast<ULONG_PTR>(handle));
        if (it == m_keys.end())
            return false;
        *key = it->second;
        return true;
    }
    bool Remove(HKEY handle)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_keys.erase(reinterpret_cast<ULONG_PTR>(handle)) > 0;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<ULONG_PTR, OpenKey> m_keys;
    ULONG_PTR m_next = 0x10000;
};

HandleTable& Handles()
{
    static HandleTable* table = new HandleTable; // lives as long as the process, like the stores
    return *table;
}

bool IsPredefined(HKEY key)
{
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

LONG Lookup(HKEY key, OpenKey* found)
{
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        found->root = key == HKEY_CURRENT_USER ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
        found->ref = RegKeyRef{};
        found->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    if (key == nullptr || IsPredefined(key) || !Handles().Find(key, found))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

LONG Open(HKEY key, LPCSTR subKey, bool create, REGSAM desired, PHKEY result, LPDWORD disposition)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    OpenKey parent;
    if (LONG r = Lookup(key, &parent); r != ERROR_SUCCESS)
        return r;
    bool mayCreate = create && (parent.access & KEY_CREATE_SUB_KEY) != 0;
    OpenKey opened = parent;
    opened.access = desired;
    DWORD how = 0;
    LONG r = RegistryStore::For(parent.root).OpenKey(parent.ref, subKey, mayCreate, &opened.ref, &how);
    if (r == ERROR_FILE_NOT_FOUND && create && !mayCreate)
        r = ERROR_ACCESS_DENIED;
    if (r != ERROR_SUCCESS)
        return r;
    *result = Handles().Add(opened);
    if (disposition != nullptr)
        *disposition = how;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM desired,
                     const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition)
{
    if ((options & REG_OPTION_VOLATILE) != 0)
        return ERROR_NOT_SUPPORTED;
    return Open(key, subKey, true, desired, result, disposition);
}

LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result)
{
    return Open(key, subKey, true, KEY_ALL_ACCESS, result, nullptr);
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result)
{
    return Open(key, subKey, false, KEY_ALL_ACCESS, result, nullptr);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result)
{
    return Open(key, subKey, false, desired, result, nullptr);
}

LONG RegCloseKey(HKEY key)
{
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    if (key == nullptr || IsPredefined(key) || !Handles().Remove(key))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    if ((open.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    return RegistryStore::For(open.root).SetValue(open.ref, valueName, type, data, size);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    return RegistryStore::For(open.root).QueryValue(open.ref, valueName, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    if ((open.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    return RegistryStore::For(open.root).DeleteValue(open.ref, valueName);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    return RegistryStore::For(open.root).DeleteKey(open.ref, subKey);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD, LPSTR keyClass,
                   LPDWORD classChars, PFILETIME lastWrite)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    LONG r = RegistryStore::For(open.root).EnumKey(open.ref, index, name, nameChars);
    if (r == ERROR_SUCCESS) {
        if (keyClass != nullptr && classChars != nullptr && *classChars > 0)
            keyClass[0] = '\0';
        if (classChars != nullptr)
            *classChars = 0;
        if (lastWrite != nullptr)
            *lastWrite = FILETIME{};
    }
    return r;
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameChars)
{
    return RegEnumKeyExA(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD nameChars, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD size)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    return RegistryStore::For(open.root).EnumValue(open.ref, index, valueName, nameChars, type, data, size);
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                      LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                      LPDWORD securityDescriptor, PFILETIME lastWrite)
{
    OpenKey open;
    if (LONG r = Lookup(key, &open); r != ERROR_SUCCESS)
        return r;
    RegistryStore::KeyInfo info;
    LONG r = RegistryStore::For(open.root).QueryInfo(open.ref, &info);
    if (r != ERROR_SUCCESS)
        return r;
    if (keyClass != nullptr && classChars != nullptr && *classChars > 0)
        keyClass[0] = '\0';
    if (classChars != nullptr)
        *classChars = 0;
    if (subKeys != nullptr)
        *subKeys = info.subKeys;
    if (maxSubKeyLen != nullptr)
        *maxSubKeyLen = info.maxSubKeyLen;
    if (maxClassLen != nullptr)
        *maxClassLen = 0;
    if (values != nullptr)
        *values = info.values;
    if (maxValueNameLen != nullptr)
        *maxValueNameLen = info.maxValueNameLen;
    if (maxValueLen != nullptr)
        *maxValueLen = info.maxValueLen;
    if (securityDescriptor != nullptr)
        *securityDescriptor = 0;
    if (lastWrite != nullptr)
        *lastWrite = FILETIME{};
    return ERROR_SUCCESS;
}

namespace {
bool IsThisMachine(const char* machine)
{
    if (machine == nullptr)
        return true;
    while (*machine == '\\')
        ++machine;
    if (*machine == '\0' || strcasecmp(machine, "localhost") == 0 || std::strcmp(machine, "127.0.0.1") == 0 ||
        std::strcmp(machine, "::1") == 0)
        return true;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return false;
    if (strcasecmp(machine, host) == 0)
        return true;
    // The short name of this host also names it.
    const char* dot = std::strchr(host, '.');
    std::size_t shortLength = dot != nullptr ? static_cast<std::size_t>(dot - host) : std::strlen(host);
    return std::strlen(machine) == shortLength && strncasecmp(machine, host, shortLength) == 0;
}
} // namespace

LONG RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (key != HKEY_CURRENT_USER && key != HKEY_LOCAL_MACHINE)
        return ERROR_INVALID_HANDLE;
    // There is no remote registry service: only this machine's store is
    // reachable.
    if (!IsThisMachine(machineName))
        return ERROR_BAD_NETPATH;
    OpenKey root;
    Lookup(key, &root);
    *result = Handles().Add(root);
    return ERROR_SUCCESS;
}

RegTransaction::RegTransaction(HKEY key, Mode mode) : m_root(0), m_status(ERROR_SUCCESS), m_open(false)
{
    OpenKey open;
    m_status = Lookup(key, &open);
    if (m_status != ERROR_SUCCESS)
        return;
    m_root = static_cast<int>(open.root);
    m_status = RegistryStore::For(open.root).BeginTransaction(mode == Mode::Write);
    m_open = m_status == ERROR_SUCCESS;
}

RegTransaction::~RegTransaction()
{
    Rollback();
}

LONG RegTransaction::Commit()
{
    if (!m_open)
        return m_status != ERROR_SUCCESS ? m_status : ERROR_INVALID_FUNCTION;
    m_open = false;
    return RegistryStore::For(static_cast<RegistryRoot>(m_root)).EndTransaction(true);
}

void RegTransaction::Rollback()
{
    if (!m_open)
        return;
    m_open = false;
    RegistryStore::For(static_cast<RegistryRoot>(m_root)).EndTransaction(false);
}
