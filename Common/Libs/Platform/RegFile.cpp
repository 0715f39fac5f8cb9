#include "Platform/RegFile.h"

#include "Platform/RegistryStore.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

namespace Platform {

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";
constexpr int kMaxDepth = 512;

struct RootName {
    const char* name;
    HKEY (*root)();
};

HKEY CurrentUser()
{
    return HKEY_CURRENT_USER;
}
HKEY LocalMachine()
{
    return HKEY_LOCAL_MACHINE;
}

const RootName kRoots[] = {
    {"HKEY_CURRENT_USER", CurrentUser},
    {"HKCU", CurrentUser},
    {"HKEY_LOCAL_MACHINE", LocalMachine},
    {"HKLM", LocalMachine},
};

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at the start of `text` (which starts with '"'),
// undoing \\ and \" escapes; `text` is left after the closing quote.
bool ReadQuoted(std::string_view& text, std::string* out, std::string* what)
{
    out->clear();
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                *what = "a backslash in a quoted text must be written \\\\ (or \\\" for a quote)";
                return false;
            }
            c = text[++i];
        }
        out->push_back(c);
    }
    *what = "a quoted text is not closed";
    return false;
}

bool ReadHexBytes(std::string_view text, std::vector<BYTE>* data, std::string* what)
{
    data->clear();
    text = Trim(text);
    if (text.empty())
        return true;
    for (;;) {
        text = Trim(text);
        if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0) {
            *what = "hex data must be two-digit hex bytes separated by commas";
            return false;
        }
        data->push_back(static_cast<BYTE>(HexDigit(text[0]) * 16 + HexDigit(text[1])));
        text.remove_prefix(2);
        text = Trim(text);
        if (text.empty())
            return true;
        if (text.front() != ',') {
            *what = "hex data must be two-digit hex bytes separated by commas";
            return false;
        }
        text.remove_prefix(1);
    }
}

bool ParseData(std::string_view text, RegFileValue* value, std::string* what)
{
    text = Trim(text);
    if (text == "-") {
        value->remove = true;
        return true;
    }
    if (!text.empty() && text.front() == '"') {
        std::string content;
        if (!ReadQuoted(text, &content, what))
            return false;
        if (!Trim(text).empty()) {
            *what = "unexpected text after the quoted value";
            return false;
        }
        value->type = REG_SZ;
        value->data.assign(content.begin(), content.end());
        value->data.push_back(0);
        return true;
    }
    if (text.size() >= 6 && strncasecmp(text.data(), "dword:", 6) == 0) {
        std::string_view digits = Trim(text.substr(6));
        if (digits.empty() || digits.size() > 8) {
            *what = "dword: needs one to eight hex digits";
            return false;
        }
        DWORD number = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) {
                *what = "dword: needs one to eight hex digits";
                return false;
            }
            number = number * 16 + static_cast<DWORD>(d);
        }
        value->type = REG_DWORD;
        value->data.resize(4);
        std::memcpy(value->data.data(), &number, 4);
        return true;
    }
    if (text.size() >= 3 && strncasecmp(text.data(), "hex", 3) == 0) {
        std::string_view rest = text.substr(3);
        DWORD type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            std::size_t close = rest.find(')');
            std::string_view digits = close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
            if (digits.empty() || digits.size() > 8) {
                *what = "hex(N): needs a type of one to eight hex digits";
                return false;
            }
            type = 0;
            for (char c : digits) {
                int d = HexDigit(c);
                if (d < 0) {
                    *what = "hex(N): needs a type of one to eight hex digits";
                    return false;
                }
                type = type * 16 + static_cast<DWORD>(d);
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            *what = "hex data must start with hex: or hex(N):";
            return false;
        }
        value->type = type;
        return ReadHexBytes(rest.substr(1), &value->data, what);
    }
    *what = "unknown kind of data (expected \"text\", dword:, hex:, hex(N): or -)";
    return false;
}

bool ParseValueLine(std::string_view line, RegFileValue* value, std::string* what)
{
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        if (!ReadQuoted(line, &value->name, what))
            return false;
        if (value->name.size() > kMaxValueNameLength) {
            *what = "value name longer than 16383 bytes";
            return false;
        }
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=') {
        *what = "expected '=' after the value's name";
        return false;
    }
    return ParseData(line.substr(1), value, what);
}

bool NeedsHex(const RegFileValue& value)
{
    const std::vector<BYTE>& d = value.data;
    if (value.type != REG_SZ || d.empty() || d.back() != 0)
        return true;
    for (std::size_t i = 0; i + 1 < d.size(); ++i) {
        if (d[i] == 0 || d[i] == '\r' || d[i] == '\n')
            return true;
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

bool Writable(std::string_view name)
{
    return name.find_first_of("\r\n") == std::string_view::npos;
}

LONG ReadKey(HKEY key, const std::string& path, RegFile* file, std::string* error, int depth)
{
    if (depth > kMaxDepth) {
        *error = path + ": keys nested too deeply";
        return ERROR_INVALID_DATA;
    }
    if (!Writable(path)) {
        *error = "a key name holds a line break and cannot be written as .reg text";
        return ERROR_INVALID_DATA;
    }
    RegFileKey entry;
    entry.path = path;
    std::vector<char> name(kMaxValueNameLength + 1);
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(name.size()), type = 0, size = 0;
        LONG r = RegEnumValueA(key, index, name.data(), &chars, nullptr, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS) {
            *error = path + ": values cannot be read";
            return r;
        }
        RegFileValue value;
        value.name.assign(name.data(), chars);
        if (!Writable(value.name)) {
            *error = path + ": a value name holds a line break and cannot be written as .reg text";
            return ERROR_INVALID_DATA;
        }
        value.data.resize(size);
        r = RegQueryValueExA(key, value.name.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (r != ERROR_SUCCESS) {
            *error = path + ": value \"" + value.name + "\" cannot be read";
            return r;
        }
        value.data.resize(size);
        entry.values.push_back(std::move(value));
    }
    file->keys.push_back(std::move(entry));
    char keyName[kMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD chars = sizeof keyName;
        LONG r = RegEnumKeyExA(key, index, keyName, &chars, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS) {
            *error = path + ": sub-keys cannot be read";
            return r;
        }
        HKEY sub = nullptr;
        r = RegOpenKeyExA(key, keyName, 0, KEY_READ, &sub);
        if (r != ERROR_SUCCESS) {
            *error = path + "\\" + keyName + ": cannot be opened";
            return r;
        }
        r = ReadKey(sub, path + "\\" + keyName, file, error, depth + 1);
        RegCloseKey(sub);
        if (r != ERROR_SUCCESS)
            return r;
    }
    return ERROR_SUCCESS;
}

// Closes a key handle when the block ends.
struct KeyCloser {
    HKEY key = nullptr;
    ~KeyCloser()
    {
        if (key != nullptr)
            RegCloseKey(key);
    }
};

} // namespace

bool SplitRegKeyPath(std::string_view path, HKEY* root, std::string* subkey, std::string* error)
{
    std::size_t cut = path.find('\\');
    std::string_view rootName = path.substr(0, cut);
    for (const RootName& known : kRoots) {
        if (rootName.size() == std::strlen(known.name) &&
            strncasecmp(rootName.data(), known.name, rootName.size()) == 0) {
            *root = known.root();
            subkey->assign(cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1));
            while (!subkey->empty() && subkey->back() == '\\')
                subkey->pop_back();
            return true;
        }
    }
    *error = "the key must start with HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE (or HKCU, HKLM): " + std::string(path);
    return false;
}

std::string CanonicalRegKeyPath(HKEY root, const std::string& subkey)
{
    std::string path = root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    if (!subkey.empty())
        path += "\\" + subkey;
    return path;
}

bool ParseRegFile(std::string_view text, RegFile* file, std::string* error)
{
    file->keys.clear();
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        *error = "line 1: UTF-16 text; convert the file to UTF-8 first";
        return false;
    }
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    bool headerSeen = false;
    RegFileKey* current = nullptr;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        // One logical line: physical lines joined where one ends in '\'.
        std::size_t firstLine = lineNumber + 1;
        std::string logical;
        bool more = true;
        while (more && !text.empty()) {
            std::size_t end = text.find('\n');
            std::string_view physical = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            ++lineNumber;
            if (!physical.empty() && physical.back() == '\r')
                physical.remove_suffix(1);
            std::string_view trimmed = Trim(physical);
            bool comment = !trimmed.empty() && trimmed.front() == ';';
            more = !comment && !trimmed.empty() && trimmed.back() == '\\';
            if (more)
                trimmed.remove_suffix(1);
            logical.append(trimmed);
        }
        auto fail = [&](const std::string& what) {
            *error = "line " + std::to_string(firstLine) + ": " + what;
            file->keys.clear();
            return false;
        };
        std::string_view line = Trim(logical);
        if (line.empty() || line.front() == ';')
            continue;
        if (!headerSeen) {
            if (line != kHeader && line != kHeader4)
                return fail("expected the header \"" + std::string(kHeader) + "\"");
            headerSeen = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("a key line must end with ']'");
            std::string_view path = line.substr(1, line.size() - 2);
            RegFileKey key;
            if (!path.empty() && path.front() == '-') {
                key.remove = true;
                path.remove_prefix(1);
            }
            HKEY root = nullptr;
            std::string subkey, what;
            if (!SplitRegKeyPath(path, &root, &subkey, &what))
                return fail(what);
            if (key.remove && subkey.empty())
                return fail("a root key cannot be deleted");
            key.path = std::string(path);
            file->keys.push_back(std::move(key));
            current = &file->keys.back();
            continue;
        }
        if (line.front() == '"' || line.front() == '@') {
            if (current == nullptr)
                return fail("a value before any [key] line");
            if (current->remove)
                return fail("a value under a key that is being deleted");
            RegFileValue value;
            std::string what;
            if (!ParseValueLine(line, &value, &what))
                return fail(what);
            current->values.push_back(std::move(value));
            continue;
        }
        return fail("expected a [key] line, a \"name\"= or @= value line, or a ; comment");
    }
    if (!headerSeen) {
        *error = "line 1: expected the header \"" + std::string(kHeader) + "\"";
        return false;
    }
    return true;
}

std::string WriteRegFile(const RegFile& file)
{
    std::string out = std::string(kHeader) + "\n";
    for (const RegFileKey& key : file.keys) {
        out += "\n[";
        if (key.remove)
            out += '-';
        out += key.path + "]\n";
        for (const RegFileValue& value : key.values) {
            std::string line;
            if (value.name.empty())
                line = "@";
            else
                AppendQuoted(line, value.name);
            line += '=';
            if (value.remove) {
                line += "-";
            } else if (!NeedsHex(value)) {
                AppendQuoted(line, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                                    value.data.size() - 1));
            } else if (value.type == REG_DWORD && value.data.size() == 4) {
                DWORD number = 0;
                std::memcpy(&number, value.data.data(), 4);
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", number);
                line += digits;
            } else {
                char prefix[32];
                if (value.type == REG_BINARY)
                    std::snprintf(prefix, sizeof prefix, "hex:");
                else
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
                line += prefix;
                // Wrapped as the registry editor wraps long lists.
                std::size_t column = line.size();
                for (std::size_t i = 0; i < value.data.size(); ++i) {
                    char byte[4];
                    std::snprintf(byte, sizeof byte, "%02x", value.data[i]);
                    bool last = i + 1 == value.data.size();
                    if (column + (last ? 2 : 3) > 77) {
                        line += "\\\n  ";
                        column = 2;
                    }
                    line += byte;
                    column += 2;
                    if (!last) {
                        line += ',';
                        ++column;
                    }
                }
            }
            out += line + "\n";
        }
    }
    return out;
}

LONG ExportRegTree(const std::string& path, RegFile* file, std::string* error)
{
    file->keys.clear();
    HKEY root = nullptr;
    std::string subkey;
    if (!SplitRegKeyPath(path, &root, &subkey, error))
        return ERROR_INVALID_PARAMETER;
    RegTransaction reading(root, RegTransaction::Mode::Read);
    if (reading.Status() != ERROR_SUCCESS) {
        *error = "the registry store cannot be read";
        return reading.Status();
    }
    KeyCloser key;
    LONG r = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key.key);
    if (r != ERROR_SUCCESS) {
        *error = CanonicalRegKeyPath(root, subkey) + ": no such key";
        return r;
    }
    r = ReadKey(key.key, CanonicalRegKeyPath(root, subkey), file, error, 0);
    if (r != ERROR_SUCCESS)
        file->keys.clear();
    return r;
}

LONG ApplyRegFile(const RegFile& file, std::string* error)
{
    // Every root the file touches is held in a transaction of its own until
    // the whole file is applied.
    bool uses[2] = {false, false};
    for (const RegFileKey& key : file.keys) {
        HKEY root = nullptr;
        std::string subkey;
        if (!SplitRegKeyPath(key.path, &root, &subkey, error))
            return ERROR_INVALID_PARAMETER;
        uses[root == HKEY_LOCAL_MACHINE ? 1 : 0] = true;
    }
    std::unique_ptr<RegTransaction> txns[2];
    for (int i = 0; i < 2; ++i) {
        if (!uses[i])
            continue;
        txns[i] = std::make_unique<RegTransaction>(i == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
        if (txns[i]->Status() != ERROR_SUCCESS) {
            *error = std::string(i == 0 ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") +
                     ": the registry store cannot be written";
            return txns[i]->Status();
        }
    }
    for (const RegFileKey& key : file.keys) {
        HKEY root = nullptr;
        std::string subkey;
        SplitRegKeyPath(key.path, &root, &subkey, error);
        if (key.remove) {
            LONG r = RegDeleteKeyA(root, subkey.c_str());
            if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) {
                *error = key.path + ": cannot be deleted";
                return r;
            }
            continue;
        }
        KeyCloser open;
        LONG r = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                 &open.key, nullptr);
        if (r != ERROR_SUCCESS) {
            *error = key.path + ": cannot be created";
            return r;
        }
        for (const RegFileValue& value : key.values) {
            if (value.remove) {
                r = RegDeleteValueA(open.key, value.name.c_str());
                if (r == ERROR_FILE_NOT_FOUND)
                    r = ERROR_SUCCESS;
            } else {
                r = RegSetValueExA(open.key, value.name.c_str(), 0, value.type, value.data.data(),
                                   static_cast<DWORD>(value.data.size()));
            }
            if (r != ERROR_SUCCESS) {
                *error = key.path + ": value \"" + value.name + "\" cannot be written";
                return r;
            }
        }
    }
    for (auto& txn : txns) {
        if (txn == nullptr)
            continue;
        LONG r = txn->Commit();
        if (r != ERROR_SUCCESS) {
            *error = "the changes could not be made durable";
            return r;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace Platform
