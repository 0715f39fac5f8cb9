// CRegSection: paths, typed values with defaults, bounds, enumeration,
// deletion and copying of settings sections.
#include "Brindle/base/RegSection.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

using Brindle::CRegSection;

namespace {

// What the typed getters give for a name: the stored value or the default
// (a getter always reports success).
template <typename T, typename Get>
T ValueOf(const CRegSection& section, Get get, const char* name, T def)
{
    T value{};
    EXPECT_EQ(1, (section.*get)(name, value, def)) << name;
    return value;
}

int IntOf(const CRegSection& section, const char* name, int def = -1)
{
    return ValueOf(section, &CRegSection::GetInt, name, def);
}

long LongOf(const CRegSection& section, const char* name, long def = -1)
{
    return ValueOf(section, &CRegSection::GetLong, name, def);
}

bool BoolOf(const CRegSection& section, const char* name, bool def)
{
    return ValueOf(section, &CRegSection::GetBool, name, def);
}

double DoubleOf(const CRegSection& section, const char* name, double def = 0)
{
    return ValueOf(section, &CRegSection::GetDouble, name, def);
}

std::string TextOf(const CRegSection& section, const char* name, const char* def = "")
{
    char text[32];
    EXPECT_EQ(1, section.GetStr(name, text, sizeof text, def)) << name;
    return text;
}

class RegSectionTest : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir m_dir;

    static std::vector<std::string> Keys(const CRegSection& section, int size = 256)
    {
        std::vector<std::string> names;
        std::vector<char> name(static_cast<std::size_t>(size));
        for (int index = 0; section.EnumKey(index, name.data(), size);)
            names.push_back(name.data());
        return names;
    }
};

TEST_F(RegSectionTest, OpenCreatesEveryLevelAndOpensThemAgain)
{
    HKEY probe = nullptr;
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Software", &probe));
    CRegSection section;
    EXPECT_FALSE(section.IsOpen());
    ASSERT_EQ(1, section.Open(HKEY_CURRENT_USER, "Software/Halvern/MAVO"));
    EXPECT_TRUE(section.IsOpen());
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Halvern\\MAVO", &probe));
    RegCloseKey(probe);
    EXPECT_EQ(1, section.SetInt("Pages", 3));

    EXPECT_EQ(3, IntOf(CRegSection(HKEY_CURRENT_USER, "Software/Halvern/MAVO"), "Pages"));
    // A leading '/' names the same key.
    EXPECT_EQ(3, IntOf(CRegSection(HKEY_CURRENT_USER, "/Software/Halvern/MAVO"), "pages"));
    // A backslash inside a segment is a path of the registry's own.
    EXPECT_EQ(3, IntOf(CRegSection(HKEY_CURRENT_USER, "Software\\Halvern/MAVO"), "Pages"));
}

TEST_F(RegSectionTest, FailedOpenKeepsTheKeyItHad)
{
    CRegSection section(HKEY_CURRENT_USER, "Software/Halvern");
    section.SetInt("Here", 1);
    std::string tooLong(1000, 's');
    EXPECT_EQ(0, section.Open(HKEY_CURRENT_USER, ("Software/" + tooLong).c_str()));
    EXPECT_EQ(0, section.Open(nullptr, "Software"));
    EXPECT_EQ(0, section.OpenRemote("elsewhere.invalid", HKEY_CURRENT_USER));
    EXPECT_EQ(1, IntOf(section, "Here"));
    EXPECT_EQ(1, section.Close());
    EXPECT_FALSE(section.IsOpen());
    EXPECT_EQ(1, section.Close());
}

TEST_F(RegSectionTest, NestedSectionsHoldTheirOwnKeys)
{
    CRegSection child;
    {
        CRegSection parent(HKEY_CURRENT_USER, "Software/Halvern/MAVO");
        CRegSection controller(parent, "Controller/Socket");
        EXPECT_EQ(1, controller.SetStr("Host", "feed.local"));
        child.Open(parent, "Controller");
    }
    // The child outlives its parent.
    EXPECT_EQ("feed.local", TextOf(CRegSection(child, "socket"), "host"));
}

TEST_F(RegSectionTest, TypedValuesRoundTripAndOtherTypesGiveTheDefault)
{
    CRegSection s(HKEY_CURRENT_USER, "Types");
    EXPECT_EQ(std::vector<int>(7, 1),
              (std::vector<int>{s.SetInt("int", -5), s.SetLong("long", -70000), s.SetBool("yes", true),
                                s.SetBool("no", false), s.SetStr("text", "twelve"),
                                s.SetStr("string", std::string("from string")), s.SetStr("twelve", "12")}));

    EXPECT_EQ(-5, IntOf(s, "int"));
    EXPECT_EQ(-70000, LongOf(s, "long"));
    EXPECT_TRUE(BoolOf(s, "yes", false));
    EXPECT_FALSE(BoolOf(s, "no", true));
    std::string text;
    s.GetStr("string", text, 64, "");
    EXPECT_EQ("from string", text);

    // A text holding a number is not a number; a number is not a text.
    EXPECT_EQ(77, IntOf(s, "twelve", 77));
    EXPECT_EQ(78, LongOf(s, "twelve", 78));
    EXPECT_TRUE(BoolOf(s, "text", true));
    EXPECT_EQ("dflt", TextOf(s, "int", "dflt"));
    EXPECT_EQ(5, IntOf(s, "missing", 5));

    // A long that a REG_DWORD cannot hold is refused, not cut.
    if (sizeof(long) > 4) {
        EXPECT_EQ(0, s.SetLong("big", 5000000000L));
        EXPECT_EQ(-1, LongOf(s, "big"));
    }
}

TEST_F(RegSectionTest, AClosedSectionGivesDefaultsAndRefusesWrites)
{
    CRegSection s;
    EXPECT_EQ(11, IntOf(s, "a", 11));
    EXPECT_EQ(12, LongOf(s, "a", 12));
    EXPECT_TRUE(BoolOf(s, "a", true));
    EXPECT_EQ(2.5, DoubleOf(s, "a", 2.5));
    EXPECT_EQ("def", TextOf(s, "a", "def"));
    std::string str;
    EXPECT_EQ(1, s.GetStr("a", str, 16, std::string("sdef")));
    EXPECT_EQ("sdef", str);
    unsigned char bin[4] = {1, 2, 3, 4};
    const unsigned char def[4] = {9, 9, 9, 9};
    EXPECT_EQ(1, s.GetBin("a", bin, sizeof bin, def));
    EXPECT_EQ(0, std::memcmp(bin, def, 4));
    EXPECT_EQ(std::vector<int>(7, 0), (std::vector<int>{s.SetInt("a", 1), s.SetLong("a", 1), s.SetBool("a", true),
                                                        s.SetDouble("a", 1.0), s.SetStr("a", "x"),
                                                        s.SetStr("a", std::string("x")), s.SetBin("a", bin, 4)}));
    int index = 0;
    char name[16], data[16];
    EXPECT_EQ(0, s.EnumKey(index, name, sizeof name));
    EXPECT_EQ(0, s.EnumValue(index, name, sizeof name, data, sizeof data, ""));
}

TEST_F(RegSectionTest, GetStrStaysInsideTheBuffer)
{
    CRegSection s(HKEY_CURRENT_USER, "Text");
    s.SetStr("eight", "12345678");
    s.SetStr("seven", "1234567");
    struct Guarded {
        char buffer[8];
        char guard[8];
    } g;
    std::memset(&g, '#', sizeof g);
    const auto get = [&](const char* name, const char* def) {
        s.GetStr(name, g.buffer, sizeof g.buffer, def);
        return std::string(g.buffer);
    };
    EXPECT_EQ("1234567", get("seven", "d"));
    EXPECT_EQ("d", get("eight", "d")); // eight characters and a NUL do not fit in eight bytes
    EXPECT_EQ("a defau", get("missing", "a default far too long")); // cut and terminated
    EXPECT_EQ(std::string(8, '#'), std::string(g.guard, sizeof g.guard));
    EXPECT_EQ("", get("missing", nullptr));

    // A text stored without its NUL comes back terminated, or as the
    // default when there is no room for the NUL.
    HKEY key = s;
    RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdefgh"), 8);
    RegSetValueExA(key, "short", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    std::memset(&g, '#', sizeof g);
    EXPECT_EQ("abc", get("short", "d"));
    EXPECT_EQ("d", get("bare", "d"));
    EXPECT_EQ(std::string(8, '#'), std::string(g.guard, sizeof g.guard));

    std::string out;
    s.GetStr("eight", out, 9, "d");
    EXPECT_EQ("12345678", out);
    s.GetStr("eight", out, 8, "d");
    EXPECT_EQ("d", out);
    RegSetValueExA(key, "expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%HOME%"), 7);
    s.GetStr("expand", out, 64, "d");
    EXPECT_EQ("%HOME%", out);
}

TEST_F(RegSectionTest, GetBinFillsWhatIsStoredOrTheDefault)
{
    CRegSection s(HKEY_CURRENT_USER, "Bin");
    const unsigned char four[4] = {1, 2, 3, 4};
    ASSERT_EQ(1, s.SetBin("four", four, 4));
    unsigned char buffer[32];
    unsigned char def[32];
    std::memset(def, 0x77, sizeof def);
    std::memset(buffer, 0xEE, sizeof buffer);
    s.GetBin("four", buffer, sizeof buffer, def);
    EXPECT_EQ(0, std::memcmp(buffer, four, 4));
    for (int i = 4; i < 32; ++i)
        EXPECT_EQ(0xEE, buffer[i]);
    s.GetBin("absent", buffer, sizeof buffer, def);
    EXPECT_EQ(0, std::memcmp(buffer, def, 32));
    // A null default gives zeros.
    s.GetBin("absent", buffer, sizeof buffer, nullptr);
    for (unsigned char byte : buffer)
        EXPECT_EQ(0, byte);
    // Too large for the buffer, or not binary: the default.
    unsigned char two[2];
    const unsigned char twoDef[2] = {5, 6};
    s.GetBin("four", two, sizeof two, twoDef);
    EXPECT_EQ(5, two[0]);
    s.SetInt("number", 1);
    s.GetBin("number", two, sizeof two, twoDef);
    EXPECT_EQ(6, two[1]);
    EXPECT_EQ(0, s.SetBin("bad", nullptr, 3));
    EXPECT_EQ(0, s.SetBin("bad", four, -1));
}

TEST_F(RegSectionTest, DoublesIgnoreACommaDecimalLocale)
{
    std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        std::setlocale(LC_ALL, previous.c_str());
        GTEST_SKIP() << "no comma-decimal locale on this machine";
    }
    CRegSection s(HKEY_CURRENT_USER, "Locale");
    EXPECT_EQ(1, s.SetDouble("rate", 1.5));
    const double d = DoubleOf(s, "rate");
    const std::string text = TextOf(s, "rate");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(1.5, d) << found;
    EXPECT_EQ("1.500000", text);
}

TEST_F(RegSectionTest, EnumKeyPassesOverNamesTooLongForTheBuffer)
{
    CRegSection s(HKEY_CURRENT_USER, "Enum");
    for (const char* name : {"b", "10", "2", "AVeryLongName", "a"})
        CRegSection(s, name);
    EXPECT_EQ((std::vector<std::string>{"10", "2", "a", "AVeryLongName", "b"}), Keys(s));
    EXPECT_EQ((std::vector<std::string>{"10", "2", "a", "b"}), Keys(s, 8));
}

TEST_F(RegSectionTest, EnumValueGivesDataOrABoundedDefault)
{
    CRegSection s(HKEY_CURRENT_USER, "EnumValue");
    s.SetStr("short", "ok");
    s.SetStr("long", "this text is longer than the data buffer");
    s.SetInt("number", 0x01020304);
    s.SetStr("AVeryLongValueName", "x");
    s.SetStr("last", "end");

    struct Guarded {
        char data[8];
        char guard[8];
    } g;
    std::memset(&g, '#', sizeof g);
    char name[10];
    std::vector<std::pair<std::string, std::string>> seen;
    int index = 0;
    while (s.EnumValue(index, name, sizeof name, g.data, sizeof g.data, "a default longer than eight")) {
        if (std::string(name) == "number") {
            int v = 0;
            std::memcpy(&v, g.data, 4);
            EXPECT_EQ(0x01020304, v);
            seen.emplace_back(name, "<4 bytes>");
        } else {
            seen.emplace_back(name, g.data);
        }
    }
    EXPECT_EQ(5, index);
    std::vector<std::pair<std::string, std::string>> expected{
        {"short", "ok"}, {"long", "a defau"}, {"number", "<4 bytes>"}, {"last", "end"}};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(std::string(8, '#'), std::string(g.guard, sizeof g.guard));
}

TEST_F(RegSectionTest, DeleteKeyRemovesTheTreeAndNeverTheParent)
{
    CRegSection root(HKEY_CURRENT_USER, "Software");
    {
        CRegSection deep(root, "Halvern/MAVO/Controller/Socket");
        deep.SetInt("Port", 1);
        CRegSection other(root, "Other");
        other.SetInt("kept", 1);
    }
    CRegSection::DeleteKey(root, "Halvern");
    EXPECT_EQ(std::vector<std::string>{"Other"}, Keys(root));
    CRegSection::DeleteKey(root, "Halvern");
    CRegSection::DeleteKey(root, "");
    CRegSection::DeleteKey(root, nullptr);
    EXPECT_EQ(std::vector<std::string>{"Other"}, Keys(root));
    EXPECT_EQ(1, IntOf(CRegSection(root, "Other"), "kept"));
}

TEST_F(RegSectionTest, CopyRegistryReproducesTwoLevelsAndKeepsTargetValues)
{
    CRegSection from(HKEY_CURRENT_USER, "From");
    from.SetStr("name", "value");
    CRegSection(from, "One").SetInt("i", 1);
    CRegSection(from, "One/Two").SetBin("b", "\x00\x01\x02", 3);
    CRegSection(from, "One/Two").SetDouble("d", 2.5);
    CRegSection to(HKEY_CURRENT_USER, "To");
    to.SetStr("own", "mine");
    to.SetStr("name", "overwritten");

    ASSERT_EQ(1, CRegSection::CopyRegistry(from, to));
    EXPECT_EQ("value", TextOf(to, "name"));
    EXPECT_EQ("mine", TextOf(to, "own"));
    EXPECT_EQ(1, IntOf(CRegSection(to, "One"), "i"));
    unsigned char bin[3] = {};
    CRegSection(to, "One/Two").GetBin("b", bin, 3, nullptr);
    EXPECT_EQ(0, std::memcmp(bin, "\x00\x01\x02", 3));
    EXPECT_EQ(2.5, DoubleOf(CRegSection(to, "One/Two"), "d"));
}

TEST_F(RegSectionTest, CopyRegistryIntoItsOwnSubtreeCopiesOnce)
{
    CRegSection from(HKEY_CURRENT_USER, "Loop");
    from.SetInt("v", 1);
    CRegSection(from, "A").SetInt("w", 2);
    CRegSection target(from, "A/Backup");
    ASSERT_EQ(1, CRegSection::CopyRegistry(from, target));
    // The target holds the source as it was before the copy began.
    EXPECT_EQ(std::vector<std::string>{"A"}, Keys(target));
    CRegSection copiedA(target, "A");
    EXPECT_EQ(std::vector<std::string>{"Backup"}, Keys(copiedA));
    EXPECT_TRUE(Keys(CRegSection(copiedA, "Backup")).empty());
    EXPECT_EQ(2, IntOf(copiedA, "w"));
}

TEST_F(RegSectionTest, CopyRegistryThatFailsChangesNothing)
{
    CRegSection from(HKEY_CURRENT_USER, "Src");
    CRegSection(from, "Existing").SetInt("new", 1);
    CRegSection(from, "Missing").SetInt("x", 1);
    from.SetInt("top", 1);
    CRegSection(HKEY_CURRENT_USER, "Dst/Existing").SetInt("old", 1);
    // A target that may not get new sub-keys: "Existing" is written first,
    // then "Missing" cannot be made.
    HKEY limited = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Dst", 0, KEY_READ | KEY_SET_VALUE, &limited));
    EXPECT_EQ(0, CRegSection::CopyRegistry(from, limited));
    RegCloseKey(limited);
    EXPECT_EQ(-1, IntOf(CRegSection(HKEY_CURRENT_USER, "Dst/Existing"), "new"));
    CRegSection dst(HKEY_CURRENT_USER, "Dst");
    EXPECT_EQ(-1, IntOf(dst, "top"));
    EXPECT_EQ(std::vector<std::string>{"Existing"}, Keys(dst));

    // A deleted source copies nothing.
    CRegSection gone(HKEY_CURRENT_USER, "Gone");
    CRegSection::DeleteKey(HKEY_CURRENT_USER, "Gone");
    EXPECT_EQ(0, CRegSection::CopyRegistry(gone, dst));
    EXPECT_EQ(0, CRegSection::CopyRegistry(nullptr, dst));
}

} // namespace
