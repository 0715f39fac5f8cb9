// brindle-reg: the registry store from the command line.
//
//   brindle-reg query KEY                  values and sub-keys of a key
//   brindle-reg set KEY NAME TYPE DATA     REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY
//   brindle-reg delete KEY [NAME]          a value, or a key with its subtree
//   brindle-reg export KEY FILE            a subtree as .reg text (FILE - is stdout)
//   brindle-reg import FILE                a .reg file (FILE - is stdin), all or nothing
//
// Keys are written HKEY_CURRENT_USER\Software\Halvern\MAVO (HKCU, HKLM too).
// Exit status: 0 done, 1 the store refused or the key or value is missing,
// 2 bad command line or bad input.
#include "Platform/RegFile.h"
#include "Platform/Registry.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kBadInput = 2;

const char* const kUsage =
    "usage: brindle-reg query KEY\n"
    "       brindle-reg set KEY NAME TYPE DATA   (TYPE: REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY)\n"
    "       brindle-reg delete KEY [NAME]\n"
    "       brindle-reg export KEY FILE          (FILE - writes to standard output)\n"
    "       brindle-reg import FILE              (FILE - reads standard input)\n"
    "KEY is written HKEY_CURRENT_USER\\Software\\... or HKEY_LOCAL_MACHINE\\... (HKCU, HKLM);\n"
    "NAME \"\" is the key's default value.\n";

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "brindle-reg: %s\n", message.c_str());
    return status;
}

std::string ErrorText(LONG code)
{
    if (code == static_cast<LONG>(ERROR_FILE_NOT_FOUND))
        return "not found";
    if (code == static_cast<LONG>(ERROR_KEY_DELETED))
        return "the key was deleted";
    return std::strerror(static_cast<int>(code));
}

// Closes a key handle when the block ends.
struct OpenKey {
    HKEY key = nullptr;
    ~OpenKey()
    {
        if (key != nullptr)
            RegCloseKey(key);
    }
};

const char* TypeName(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return nullptr;
    }
}

// A value as one line of text: texts as they are (lines of a multi-text
// joined by \0), numbers in hex, everything else as hex bytes.
std::string Show(DWORD type, const std::vector<BYTE>& data)
{
    std::string text;
    bool isText = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (isText) {
        std::string raw(data.begin(), data.end());
        while (!raw.empty() && raw.back() == '\0')
            raw.pop_back();
        for (char c : raw) {
            if (c == '\0')
                text += "\\0";
            else if (c == '\n')
                text += "\\n";
            else
                text += c;
        }
        return text;
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), 4);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%x", number);
        return buffer;
    }
    for (BYTE b : data) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        text += buffer;
    }
    return text;
}

bool OpenFromPath(const std::string& path, REGSAM access, OpenKey* open, std::string* canonical, int* status)
{
    HKEY root = nullptr;
    std::string subkey, error;
    if (!Platform::SplitRegKeyPath(path, &root, &subkey, &error)) {
        *status = Fail(kBadInput, error);
        return false;
    }
    *canonical = Platform::CanonicalRegKeyPath(root, subkey);
    LONG r = RegOpenKeyExA(root, subkey.c_str(), 0, access, &open->key);
    if (r != ERROR_SUCCESS) {
        *status = Fail(kRefused, *canonical + ": " + ErrorText(r));
        return false;
    }
    return true;
}

int Query(const std::string& path)
{
    OpenKey open;
    std::string canonical;
    int status = kDone;
    if (!OpenFromPath(path, KEY_READ, &open, &canonical, &status))
        return status;
    RegTransaction reading(open.key, RegTransaction::Mode::Read);
    std::string out = canonical + "\n";
    std::vector<char> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(name.size()), type = 0, size = 0;
        LONG r = RegEnumValueA(open.key, index, name.data(), &chars, nullptr, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            return Fail(kRefused, canonical + ": " + ErrorText(r));
        std::string valueName(name.data(), chars);
        std::vector<BYTE> data(size);
        r = RegQueryValueExA(open.key, valueName.c_str(), nullptr, &type, data.data(), &size);
        if (r != ERROR_SUCCESS)
            return Fail(kRefused, canonical + ": " + ErrorText(r));
        data.resize(size);
        const char* typeName = TypeName(type);
        char typeText[32];
        if (typeName == nullptr) {
            std::snprintf(typeText, sizeof typeText, "REG_0x%x", type);
            typeName = typeText;
        }
        out += "    " + (valueName.empty() ? std::string("(Default)") : valueName) + "    " + typeName + "    " +
               Show(type, data) + "\n";
    }
    std::string keys;
    char keyName[256];
    for (DWORD index = 0;; ++index) {
        LONG r = RegEnumKeyA(open.key, index, keyName, sizeof keyName);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            return Fail(kRefused, canonical + ": " + ErrorText(r));
        keys += canonical + "\\" + keyName + "\n";
    }
    if (!keys.empty())
        out += "\n" + keys;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kDone;
}

bool ParseDword(const std::string& text, DWORD* value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || number > 0xFFFFFFFFull)
        return false;
    *value = static_cast<DWORD>(number);
    return true;
}

bool ParseHex(const std::string& text, std::vector<BYTE>* data)
{
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        data->push_back(static_cast<BYTE>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

int Set(const std::string& path, const std::string& name, const std::string& typeName, const std::string& text)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (typeName == "REG_SZ" || typeName == "REG_EXPAND_SZ") {
        if (text.find('\0') != std::string::npos)
            return Fail(kBadInput, "a text cannot hold a NUL");
        type = typeName == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        data.assign(text.begin(), text.end());
        data.push_back(0);
    } else if (typeName == "REG_DWORD") {
        DWORD number = 0;
        if (!ParseDword(text, &number))
            return Fail(kBadInput, "REG_DWORD data must be a number from 0 to 4294967295 (decimal or 0x hex): " + text);
        type = REG_DWORD;
        data.resize(4);
        std::memcpy(data.data(), &number, 4);
    } else if (typeName == "REG_BINARY") {
        if (!ParseHex(text, &data))
            return Fail(kBadInput, "REG_BINARY data must be hex bytes (00ff10 or 00,ff,10): " + text);
        type = REG_BINARY;
    } else {
        return Fail(kBadInput, "unknown type " + typeName + " (REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY)");
    }
    HKEY root = nullptr;
    std::string subkey, error;
    if (!Platform::SplitRegKeyPath(path, &root, &subkey, &error))
        return Fail(kBadInput, error);
    OpenKey open;
    std::string canonical = Platform::CanonicalRegKeyPath(root, subkey);
    LONG r = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &open.key, nullptr);
    if (r != ERROR_SUCCESS)
        return Fail(kRefused, canonical + ": cannot be created: " + ErrorText(r));
    r = RegSetValueExA(open.key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    if (r != ERROR_SUCCESS)
        return Fail(kRefused, canonical + ": value \"" + name + "\" cannot be written: " + ErrorText(r));
    return kDone;
}

int Delete(const std::string& path, const std::string* name)
{
    HKEY root = nullptr;
    std::string subkey, error;
    if (!Platform::SplitRegKeyPath(path, &root, &subkey, &error))
        return Fail(kBadInput, error);
    std::string canonical = Platform::CanonicalRegKeyPath(root, subkey);
    if (name == nullptr) {
        if (subkey.empty())
            return Fail(kBadInput, "a root key cannot be deleted");
        LONG r = RegDeleteKeyA(root, subkey.c_str());
        if (r != ERROR_SUCCESS)
            return Fail(kRefused, canonical + ": " + ErrorText(r));
        return kDone;
    }
    OpenKey open;
    LONG r = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &open.key);
    if (r == ERROR_SUCCESS)
        r = RegDeleteValueA(open.key, name->c_str());
    if (r != ERROR_SUCCESS)
        return Fail(kRefused, canonical + (open.key ? ": value \"" + *name + "\"" : std::string()) + ": " +
                                  ErrorText(r));
    return kDone;
}

int Export(const std::string& path, const std::string& file)
{
    Platform::RegFile content;
    std::string error;
    LONG r = Platform::ExportRegTree(path, &content, &error);
    if (r != ERROR_SUCCESS)
        return Fail(r == static_cast<LONG>(ERROR_INVALID_PARAMETER) ? kBadInput : kRefused, error);
    std::string text = Platform::WriteRegFile(content);
    if (file == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? kDone : Fail(kRefused, "cannot write standard output");
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        return Fail(kRefused, file + ": cannot be written");
    return kDone;
}

int Import(const std::string& file)
{
    std::string text;
    if (file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return Fail(kBadInput, file + ": cannot be opened");
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad())
            return Fail(kBadInput, file + ": cannot be read");
    }
    Platform::RegFile content;
    std::string error;
    // The whole file is read before anything is written.
    if (!Platform::ParseRegFile(text, &content, &error))
        return Fail(kBadInput, (file == "-" ? std::string("standard input") : file) + ": " + error +
                                   "; nothing was imported");
    LONG r = Platform::ApplyRegFile(content, &error);
    if (r != ERROR_SUCCESS)
        return Fail(kRefused, error + ": " + ErrorText(r) + "; nothing was imported");
    return kDone;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? kBadInput : kDone;
    }
    const std::string& command = args[0];
    if (command == "query" && args.size() == 2)
        return Query(args[1]);
    if (command == "set" && args.size() == 5)
        return Set(args[1], args[2], args[3], args[4]);
    if (command == "delete" && (args.size() == 2 || args.size() == 3))
        return Delete(args[1], args.size() == 3 ? &args[2] : nullptr);
    if (command == "export" && args.size() == 3)
        return Export(args[1], args[2]);
    if (command == "import" && args.size() == 2)
        return Import(args[1]);
    std::fprintf(stderr, "brindle-reg: bad command line\n%s", kUsage);
    return kBadInput;
}
