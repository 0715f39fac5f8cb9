// The registry store opening a hostile database file: whatever the file
// holds, opening it, walking every key and value and writing must not crash
// or read out of bounds; a file that is not a sound store is set aside.
#include "Platform/Registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void Walk(HKEY key, int depth)
{
    if (depth > 20)
        return;
    std::vector<char> name(16384);
    BYTE data[256];
    for (DWORD i = 0; i < 200; ++i) {
        DWORD chars = static_cast<DWORD>(name.size()), type = 0, size = sizeof data;
        LONG r = RegEnumValueA(key, i, name.data(), &chars, nullptr, &type, data, &size);
        if (r != ERROR_SUCCESS && r != static_cast<LONG>(ERROR_MORE_DATA))
            break;
        size = sizeof data;
        RegQueryValueExA(key, name.data(), nullptr, &type, data, &size);
    }
    char sub[256];
    for (DWORD i = 0; i < 50; ++i) {
        if (RegEnumKeyA(key, i, sub, sizeof sub) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, sub, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            Walk(child, depth + 1);
            RegCloseKey(child);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Two directories taken in turn: the store reopens whenever its
    // directory changes, so every input is opened afresh.
    static std::filesystem::path dirs[2];
    static int turn = 0;
    if (dirs[0].empty()) {
        for (auto& dir : dirs) {
            char pattern[] = "/tmp/brindle-fuzz-store-XXXXXX";
            dir = ::mkdtemp(pattern);
        }
    }
    const std::filesystem::path& dir = dirs[turn];
    turn ^= 1;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove(entry.path(), ec);
    {
        std::FILE* out = std::fopen((dir / "user.db").c_str(), "wb");
        if (out == nullptr)
            return 0;
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    ::setenv("BRINDLE_REGISTRY_DIR", dir.c_str(), 1);
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root) == ERROR_SUCCESS) {
        Walk(root, 0);
        RegCloseKey(root);
    }
    // Writing after hostile content must fail cleanly or work; never crash.
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Fuzz\\Check", &key) != ERROR_SUCCESS &&
        RegCreateKeyA(HKEY_CURRENT_USER, "Fuzz\\Check", &key) != ERROR_SUCCESS)
        return 0;
    DWORD value = 1;
    RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
    return 0;
}
