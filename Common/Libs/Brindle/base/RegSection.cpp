#include "Brindle/base/RegSection.h"

#include "Platform/RegistryStore.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <memory>
#include <vector>

namespace Brindle {

namespace {

// Longest segment of a section path.
constexpr std::size_t kMaxSegment = 999;
// Room for any double in "%f" form: up to 309 integer digits, sign, point
// and six decimals.
constexpr int kDoubleText = 400;
// Deeper trees than the registry allows are not copied.
constexpr int kMaxCopyDepth = 512;

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Makes the `length` bytes read into a buffer of `capacity` a terminated
// text; false when there is no room for the NUL.
bool Terminate(char* buffer, DWORD length, int capacity)
{
    if (length > 0 && std::memchr(buffer, '\0', length) != nullptr)
        return true;
    if (length < static_cast<DWORD>(capacity)) {
        buffer[length] = '\0';
        return true;
    }
    return false;
}

// Copies a default text, cut to the buffer and always terminated.
void CopyDefault(char* buffer, int capacity, const char* def)
{
    if (buffer == nullptr || capacity <= 0)
        return;
    std::size_t length = def == nullptr ? 0 : strnlen(def, static_cast<std::size_t>(capacity) - 1);
    if (length > 0)
        std::memcpy(buffer, def, length);
    buffer[length] = '\0';
}

locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

int Ok(LONG result)
{
    return result == ERROR_SUCCESS ? 1 : 0;
}

struct ValueCopy {
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct KeyCopy {
    std::string name;
    std::vector<ValueCopy> values;
    std::vector<KeyCopy> children;
};

// Reads a whole subtree into memory (inside the caller's read transaction).
LONG ReadTree(HKEY key, KeyCopy& node, int depth)
{
    if (depth > kMaxCopyDepth)
        return ERROR_INVALID_DATA;
    std::vector<char> name(Platform::kMaxValueNameLength + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        LONG r = RegEnumValueA(key, index, name.data(), &nameChars, nullptr, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            return r;
        ValueCopy value;
        value.name.assign(name.data(), nameChars);
        value.data.resize(size);
        DWORD got = size;
        r = RegQueryValueExA(key, value.name.c_str(), nullptr, &value.type, value.data.data(), &got);
        if (r != ERROR_SUCCESS)
            return r;
        value.data.resize(got);
        node.values.push_back(std::move(value));
    }
    char keyName[Platform::kMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = sizeof keyName;
        LONG r = RegEnumKeyExA(key, index, keyName, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            return r;
        KeyCopy child;
        child.name.assign(keyName, nameChars);
        HKEY sub = nullptr;
        r = RegOpenKeyExA(key, child.name.c_str(), 0, KEY_READ, &sub);
        if (r != ERROR_SUCCESS)
            return r;
        r = ReadTree(sub, child, depth + 1);
        RegCloseKey(sub);
        if (r != ERROR_SUCCESS)
            return r;
        node.children.push_back(std::move(child));
    }
    return ERROR_SUCCESS;
}

// Writes a subtree read by ReadTree (inside the caller's write transaction).
LONG WriteTree(HKEY key, const KeyCopy& node)
{
    for (const KeyCopy& child : node.children) {
        HKEY sub = nullptr;
        LONG r = RegCreateKeyA(key, child.name.c_str(), &sub);
        if (r != ERROR_SUCCESS)
            return r;
        r = WriteTree(sub, child);
        RegCloseKey(sub);
        if (r != ERROR_SUCCESS)
            return r;
    }
    for (const ValueCopy& value : node.values) {
        LONG r = RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size()));
        if (r != ERROR_SUCCESS)
            return r;
    }
    return ERROR_SUCCESS;
}

} // namespace

CRegSection::CRegSection() : m_key(nullptr) {}

CRegSection::CRegSection(HKEY root, const char* path) : m_key(nullptr)
{
    Open(root, path);
}

CRegSection::~CRegSection()
{
    Close();
}

CRegSection::CRegSection(CRegSection&& other) noexcept : m_key(other.m_key)
{
    other.m_key = nullptr;
}

CRegSection& CRegSection::operator=(CRegSection&& other) noexcept
{
    if (this != &other) {
        Close();
        m_key = other.m_key;
        other.m_key = nullptr;
    }
    return *this;
}

int CRegSection::Open(HKEY root, const char* path)
{
    std::string_view rest(path == nullptr ? "" : path);
    HKEY current = root;
    for (;;) {
        std::size_t cut = rest.find('/');
        std::string segment(rest.substr(0, cut));
        HKEY next = nullptr;
        LONG r = segment.size() > kMaxSegment
                     ? ERROR_INVALID_PARAMETER
                     : RegCreateKeyExA(current, segment.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                       nullptr, &next, nullptr);
        if (current != root)
            RegCloseKey(current);
        if (r != ERROR_SUCCESS)
            return 0;
        current = next;
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    Close();
    m_key = current;
    return 1;
}

int CRegSection::OpenRemote(const char* machine, HKEY root)
{
    HKEY connected = nullptr;
    if (RegConnectRegistryA(machine, root, &connected) != ERROR_SUCCESS)
        return 0;
    Close();
    m_key = connected;
    return 1;
}

int CRegSection::Close()
{
    if (m_key != nullptr) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
    return 1;
}

int CRegSection::SetInt(const char* name, int value) const
{
    DWORD data = static_cast<DWORD>(value);
    return Ok(RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data));
}

int CRegSection::SetLong(const char* name, long value) const
{
    // A REG_DWORD holds 32 bits; a larger long would come back as another
    // number.
    if (value < INT_MIN || value > INT_MAX)
        return 0;
    return SetInt(name, static_cast<int>(value));
}

int CRegSection::SetBool(const char* name, bool value) const
{
    return SetInt(name, value ? 1 : 0);
}

int CRegSection::SetDouble(const char* name, double value) const
{
    // "%f" in the C locale, whatever the process locale says.
    char text[kDoubleText];
    auto [end, ec] = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 6);
    if (ec != std::errc())
        return 0;
    *end = '\0';
    return SetStr(name, text);
}

int CRegSection::SetStr(const char* name, const char* text) const
{
    if (text == nullptr)
        return 0;
    std::size_t length = std::strlen(text) + 1;
    if (length > UINT32_MAX)
        return 0;
    return Ok(RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(length)));
}

int CRegSection::SetStr(const char* name, const std::string& text) const
{
    // The text up to its first NUL, as the registry holds texts.
    return SetStr(name, text.c_str());
}

int CRegSection::SetBin(const char* name, const void* data, int length) const
{
    if (length < 0 || (data == nullptr && length > 0))
        return 0;
    return Ok(RegSetValueExA(m_key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), static_cast<DWORD>(length)));
}

int CRegSection::GetInt(const char* name, int& out, int def) const
{
    DWORD data = 0, type = 0, size = sizeof data;
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof data)
        out = static_cast<int>(data);
    else
        out = def;
    return 1;
}

int CRegSection::GetLong(const char* name, long& out, long def) const
{
    DWORD data = 0, type = 0, size = sizeof data;
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof data)
        out = static_cast<long>(static_cast<std::int32_t>(data));
    else
        out = def;
    return 1;
}

int CRegSection::GetBool(const char* name, bool& out, bool def) const
{
    DWORD data = 0, type = 0, size = sizeof data;
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof data)
        out = data != 0;
    else
        out = def;
    return 1;
}

int CRegSection::GetDouble(const char* name, double& out, double def) const
{
    out = def;
    char text[kDoubleText];
    DWORD type = 0, size = sizeof text;
    if (m_key == nullptr ||
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || !Terminate(text, size, sizeof text))
        return 1;
    // The leading number, as atof takes it, but in the C locale; a text
    // without a number gives the default.
    char* end = nullptr;
    double value = strtod_l(text, &end, CLocale());
    if (end != text)
        out = value;
    return 1;
}

int CRegSection::GetStr(const char* name, char* buffer, int size, const char* def) const
{
    if (buffer == nullptr || size <= 0)
        return 1;
    DWORD type = 0, got = static_cast<DWORD>(size);
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &got) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && Terminate(buffer, got, size))
        return 1;
    CopyDefault(buffer, size, def);
    return 1;
}

int CRegSection::GetStr(const char* name, std::string& out, int scratch, const std::string& def) const
{
    if (scratch <= 0) {
        out = def;
        return 1;
    }
    std::vector<char> text(static_cast<std::size_t>(scratch), '\0');
    DWORD type = 0, got = static_cast<DWORD>(scratch);
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && Terminate(text.data(), got, scratch))
        out = text.data();
    else
        out = def;
    return 1;
}

int CRegSection::GetBin(const char* name, void* buffer, int size, const void* def) const
{
    if (buffer == nullptr || size <= 0)
        return 1;
    DWORD type = 0, got = static_cast<DWORD>(size);
    if (m_key != nullptr &&
        RegQueryValueExA(m_key, name, nullptr, &type, static_cast<BYTE*>(buffer), &got) == ERROR_SUCCESS &&
        type == REG_BINARY)
        return 1;
    if (def != nullptr)
        std::memcpy(buffer, def, static_cast<std::size_t>(size));
    else
        std::memset(buffer, 0, static_cast<std::size_t>(size));
    return 1;
}

int CRegSection::EnumKey(int& index, char* name, int size) const
{
    if (m_key == nullptr || name == nullptr || size <= 0 || index < 0)
        return 0;
    for (;;) {
        DWORD chars = static_cast<DWORD>(size);
        LONG r = RegEnumKeyExA(m_key, static_cast<DWORD>(index), name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) {
            ++index; // a name cut short would name another key
            continue;
        }
        if (r != ERROR_SUCCESS)
            return 0;
        ++index;
        return 1;
    }
}

int CRegSection::EnumValue(int& index, char* name, int nameSize, char* data, int dataSize, const char* def) const
{
    if (m_key == nullptr || name == nullptr || nameSize <= 0 || index < 0)
        return 0;
    bool wantData = data != nullptr && dataSize > 0;
    for (;;) {
        DWORD chars = static_cast<DWORD>(nameSize);
        DWORD type = 0, got = wantData ? static_cast<DWORD>(dataSize) : 0;
        LONG r = RegEnumValueA(m_key, static_cast<DWORD>(index), name, &chars, nullptr, &type,
                               wantData ? reinterpret_cast<BYTE*>(data) : nullptr, wantData ? &got : nullptr);
        if (r == ERROR_MORE_DATA && chars >= static_cast<DWORD>(nameSize)) {
            ++index; // the name does not fit: never hand out a cut name
            continue;
        }
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA)
            return 0;
        if (wantData && (r == ERROR_MORE_DATA || (IsText(type) && !Terminate(data, got, dataSize))))
            CopyDefault(data, dataSize, def);
        ++index;
        return 1;
    }
}

void CRegSection::DeleteKey(HKEY parent, const char* name)
{
    // An empty name would name the parent itself.
    if (name == nullptr || name[0] == '\0')
        return;
    RegDeleteKeyA(parent, name);
}

int CRegSection::CopyRegistry(HKEY from, HKEY to)
{
    KeyCopy tree;
    {
        // One consistent picture of the source, taken before anything is
        // written, so a target inside the source is not copied into itself.
        RegTransaction reading(from, RegTransaction::Mode::Read);
        if (reading.Status() != ERROR_SUCCESS || ReadTree(from, tree, 0) != ERROR_SUCCESS)
            return 0;
        reading.Commit();
    }
    RegTransaction writing(to, RegTransaction::Mode::Write);
    if (writing.Status() != ERROR_SUCCESS || WriteTree(to, tree) != ERROR_SUCCESS)
        return 0;
    return writing.Commit() == ERROR_SUCCESS ? 1 : 0;
}

} // namespace Brindle
