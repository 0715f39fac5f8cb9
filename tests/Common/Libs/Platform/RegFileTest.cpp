// The .reg text form: what the parser takes and refuses, the writer's round
// trip, and all-or-nothing import.
#include "Platform/RegFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using Platform::RegFile;

namespace {

std::vector<BYTE> Bytes(const char* text, std::size_t size)
{
    return std::vector<BYTE>(text, text + size);
}

TEST(RegFileParse, ReadsEveryKindOfLine)
{
    const char* text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\Halvern\\MAVO]\r\n"
        "\"Title\"=\"Say \\\"hi\\\" at C:\\\\prices\"\r\n"
        "@=\"default\"\r\n"
        "\"Port\"=dword:0000000a\r\n"
        "\"Blob\"=hex:00,ff,\\\r\n"
        "  10\r\n"
        "\"Path\"=hex(2):25,00\r\n"
        "\"Lines\"=hex(7):61,00,00\r\n"
        "\"Gone\"=-\r\n"
        "[-HKCU\\Software\\Old]\n";
    RegFile file;
    std::string error;
    ASSERT_TRUE(Platform::ParseRegFile(text, &file, &error)) << error;
    ASSERT_EQ(2u, file.keys.size());
    const auto& key = file.keys[0];
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Halvern\\MAVO", key.path);
    ASSERT_EQ(7u, key.values.size());
    EXPECT_EQ("Title", key.values[0].name);
    EXPECT_EQ(Bytes("Say \"hi\" at C:\\prices", 22), key.values[0].data);
    EXPECT_EQ(REG_SZ, key.values[0].type);
    EXPECT_EQ("", key.values[1].name);
    EXPECT_EQ(REG_DWORD, key.values[2].type);
    EXPECT_EQ(Bytes("\x0a\0\0\0", 4), key.values[2].data);
    EXPECT_EQ(Bytes("\x00\xff\x10", 3), key.values[3].data);
    EXPECT_EQ(REG_EXPAND_SZ, key.values[4].type);
    EXPECT_EQ(REG_MULTI_SZ, key.values[5].type);
    EXPECT_TRUE(key.values[6].remove);
    EXPECT_TRUE(file.keys[1].remove);
    EXPECT_EQ("HKCU\\Software\\Old", file.keys[1].path);
}

TEST(RegFileParse, RefusesBadInputWithItsLine)
{
    const std::pair<std::string, const char*> cases[] = {
        {"REGEDIT5\n", "line 1:"},
        {"", "line 1:"},
        {std::string("\xFF\xFEW\0i\0", 6), "UTF-16"},
        {"REGEDIT4\n\"v\"=dword:1\n", "line 2:"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n", "line 2:"},
        {"REGEDIT4\n[HKCU\\X\n", "line 2:"},
        {"REGEDIT4\n[-HKCU]\n", "line 2:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=dword:123456789\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=hex:0,1\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=hex(zz):00\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=\"open\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=\"a\\q\"\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=\"a\" trailing\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=word:1\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\n\"v\"=hex:00,\\\n  zz\n\n", "line 3:"},
        {"REGEDIT4\n[-HKCU\\X]\n\"v\"=-\n", "line 3:"},
        {"REGEDIT4\n[HKCU\\X]\nstray\n", "line 3:"},
    };
    for (const auto& [text, line] : cases) {
        RegFile file;
        std::string error;
        EXPECT_FALSE(Platform::ParseRegFile(text, &file, &error)) << text;
        EXPECT_NE(std::string::npos, error.find(line)) << text << " -> " << error;
        EXPECT_TRUE(file.keys.empty());
    }
}

TEST(RegFileWrite, RandomContentRoundTrips)
{
    std::mt19937 random(7);
    RegFile file;
    for (int k = 0; k < 20; ++k) {
        Platform::RegFileKey key;
        key.path = "HKEY_CURRENT_USER\\Software\\K" + std::to_string(k) + "\\\"quoted\\\" ]";
        key.remove = k % 7 == 3;
        if (!key.remove) {
            for (int v = 0; v < 8; ++v) {
                Platform::RegFileValue value;
                value.name = v == 0 ? "" : "n\\\"" + std::to_string(v);
                DWORD types[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, 0x1234, REG_NONE};
                value.type = types[random() % 7];
                std::size_t size = random() % 120;
                for (std::size_t i = 0; i < size; ++i)
                    value.data.push_back(static_cast<BYTE>(random() % 4 == 0 ? 0 : random() % 256));
                if (v == 5) {
                    value.type = REG_SZ;
                    value.data = Bytes("plain \"text\" \\ here", 20);
                }
                value.remove = v == 7;
                if (value.remove)
                    value.data.clear(), value.type = REG_NONE;
                key.values.push_back(value);
            }
        }
        file.keys.push_back(key);
    }
    std::string text = Platform::WriteRegFile(file);
    RegFile again;
    std::string error;
    ASSERT_TRUE(Platform::ParseRegFile(text, &again, &error)) << error << "\n" << text;
    ASSERT_EQ(file.keys.size(), again.keys.size());
    for (std::size_t k = 0; k < file.keys.size(); ++k) {
        EXPECT_EQ(file.keys[k].path, again.keys[k].path);
        EXPECT_EQ(file.keys[k].remove, again.keys[k].remove);
        ASSERT_EQ(file.keys[k].values.size(), again.keys[k].values.size());
        for (std::size_t v = 0; v < file.keys[k].values.size(); ++v) {
            const auto& a = file.keys[k].values[v];
            const auto& b = again.keys[k].values[v];
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.remove, b.remove);
            if (!a.remove) {
                EXPECT_EQ(a.type, b.type);
                EXPECT_EQ(a.data, b.data);
            }
        }
    }
    EXPECT_NE(std::string::npos, text.find("\"plain \\\"text\\\" \\\\ here\"")) << text;
}

TEST(RegFileApply, ExportAndApplyAreAllOrNothing)
{
    testsupport::ScopedRegistryDir dir;
    std::string error;
    RegFile file;
    ASSERT_TRUE(Platform::ParseRegFile("REGEDIT4\n[HKCU\\Software\\A]\n\"v\"=dword:00000001\n"
                                       "[HKCU\\Software\\B]\n\"w\"=\"x\"\n",
                                       &file, &error));
    ASSERT_EQ(ERROR_SUCCESS, Platform::ApplyRegFile(file, &error)) << error;

    // The second key cannot be made (its name is too long): the first key's
    // change must not stay.
    std::string text = "REGEDIT4\n[HKCU\\Software\\A]\n\"v\"=dword:00000002\n[HKCU\\Software\\" +
                       std::string(300, 'k') + "]\n";
    ASSERT_TRUE(Platform::ParseRegFile(text, &file, &error));
    EXPECT_NE(ERROR_SUCCESS, Platform::ApplyRegFile(file, &error));
    EXPECT_FALSE(error.empty());

    RegFile exported;
    ASSERT_EQ(ERROR_SUCCESS, Platform::ExportRegTree("HKEY_CURRENT_USER\\Software", &exported, &error)) << error;
    std::string written = Platform::WriteRegFile(exported);
    EXPECT_EQ("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\A]\n\"v\"=dword:00000001\n\n"
              "[HKEY_CURRENT_USER\\Software\\B]\n\"w\"=\"x\"\n",
              written);
    EXPECT_NE(ERROR_SUCCESS, Platform::ExportRegTree("HKCU\\Software\\Missing", &exported, &error));
    EXPECT_NE(ERROR_SUCCESS, Platform::ExportRegTree("HKEY_USERS\\x", &exported, &error));
}

} // namespace
