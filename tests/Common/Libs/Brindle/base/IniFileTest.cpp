#include "Brindle/base/IniFile.h"

#include "BaseTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

using namespace Brindle;

namespace {

std::string Write(const testsupport::TempDir& dir, const std::string& name, const std::string& text)
{
    const std::string path = dir.str() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// "[id]k=v,k=v|[id]..." for comparing whole files.
std::string Shape(const CIniFile& ini)
{
    std::string out;
    for (const CRec& r : ini) {
        out += "[" + r.get_id().get_value() + "]";
        for (const CVal& v : r)
            out += "<" + v.get_id().get_value() + "|" + v.get_value().get_value() + ">";
        out += "\n";
    }
    return out;
}

} // namespace

TEST(CIniFile, LoadsSectionsAndValuesAsTheFileHasThem)
{
    const struct {
        const char* name;
        std::string text;
        bool ok;
        std::string shape;
    } cases[] = {
        {"example", "[A]\nx=1\n;comment\ny = 2\n[B]\nz=3\n", true, "[A]<x|1><y | 2>\n[B]<z|3>\n"},
        {"before first section", "a=1\nb=2\n[S]\nc=3\n", true, "[S]<a|1><b|2><c|3>\n"},
        {"no section", "a=1\nb=2\n", false, ""},
        {"empty", "", false, ""},
        {"crlf", "[A]\r\nx=1\r\n\r\n[B]\r\ny=\r\n", true, "[A]<x|1>\n[B]<y|>\n"},
        {"trimmed ends", "  [ A ]  \n\t k = v \t\n", true, "[ A ]<k | v>\n"},
        {"brackets stripped", "[[A]]\n[]\n[x]y]\n", true, "[A]\n[]\n[x]y]\n"},
        {"first equals splits", "[S]\na=b=c\n=empty key\nnoequals\n", true, "[S]<a|b=c><|empty key>\n"},
        {"comment only after trim", "[S]\n  ;x=1\n", true, "[S]\n"},
        {"duplicates kept", "[S]\nk=1\nk=2\n[S]\nk=3\n", true, "[S]<k|1><k|2>\n[S]<k|3>\n"},
        {"no final line end", "[S]\nk=v", true, "[S]<k|v>\n"},
        {"lone bracket", "[\n]\n[S]\n", true, "[S]\n"},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        CIniFile ini;
        EXPECT_EQ(ini.load(Write(dir, "f.ini", c.text)), c.ok) << c.name;
        EXPECT_EQ(Shape(ini), c.shape) << c.name;
    }
}

TEST(CIniFile, LoadingAppendsAfterWhatIsThereAndAMissingFileDoesNotLoad)
{
    testsupport::TempDir dir;
    CIniFile ini;
    EXPECT_FALSE(ini.load(dir.str() + "/none.ini"));
    EXPECT_TRUE(ini.empty());
    ASSERT_TRUE(ini.load(Write(dir, "a.ini", "[A]\nx=1\n")));
    ASSERT_TRUE(ini.load(Write(dir, "b.ini", "[B]\ny=2\n")));
    EXPECT_FALSE(ini.load(Write(dir, "c.ini", "z=3\n")));
    EXPECT_EQ(Shape(ini), "[A]<x|1>\n[B]<y|2>\n");
}

TEST(CIniFile, VeryLongLinesAreReadWhole)
{
    testsupport::TempDir dir;
    const std::string value(100000, 'v');
    CIniFile ini;
    ASSERT_TRUE(ini.load(Write(dir, "long.ini", "[S]\nk=" + value + "\nnext=1\n")));
    ASSERT_EQ(ini.size(), 1u);
    ASSERT_EQ(ini[0].size(), 2u);
    EXPECT_EQ(ini[0].get(CVar("k")).get_value(), value);
    EXPECT_EQ(ini[0].get(CVar("next")).get_value(), "1");
    // A long line that happens to hold a section mark past 4095 characters
    // is still one value line.
    CIniFile tricky;
    ASSERT_TRUE(tricky.load(Write(dir, "t.ini", "[S]\nk=" + std::string(5000, 'x') + "[T]\n")));
    EXPECT_EQ(tricky.size(), 1u);
}

TEST(CIniFile, SaveWritesTheFileFormAndRoundTrips)
{
    testsupport::TempDir dir;
    CIniFile ini;
    CRec a(CVar("Second")), b(CVar("First"));
    a.add(CVal(CVar("z"), CVar("1")));
    a.add(CVal(CVar("a"), CVar("2")));
    a.add(CVal(CVar("z"), CVar("3")));
    b.add(CVal(CVar(" sp "), CVar(" v = w ")));
    ini.push_back(a);
    ini.push_back(b);
    ini.push_back(CRec(CVar("Empty")));
    const std::string path = dir.str() + "/out.ini";
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(basetest::ReadFile(path), "[Second]\nz=1\na=2\nz=3\n[First]\n sp = v = w \n[Empty]\n");
    CIniFile back;
    ASSERT_TRUE(back.load(path));
    // Spaces at the ends of a line do not survive a load; inside they do.
    EXPECT_EQ(Shape(back), "[Second]<z|1><a|2><z|3>\n[First]<sp | v = w>\n[Empty]\n");
    ASSERT_TRUE(back.save(path));
    CIniFile again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(Shape(again), Shape(back));
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(CIniFile, SaveRefusesLineFeedsAndLeavesTheOldFile)
{
    basetest::KeepingLogger keep;
    testsupport::TempDir dir;
    const std::string path = Write(dir, "keep.ini", "[Old]\nk=v\n");
    for (int where = 0; where < 3; ++where) {
        CIniFile ini;
        CRec r(CVar(where == 0 ? "A\n[B]" : "A"));
        r.add(CVal(CVar(where == 1 ? "k\nx" : "k"), CVar(where == 2 ? "v\n[Injected]" : "v")));
        ini.push_back(r);
        EXPECT_FALSE(ini.save(path)) << where;
        EXPECT_EQ(basetest::ReadFile(path), "[Old]\nk=v\n");
    }
    ASSERT_EQ(keep.records.size(), 3u);
    EXPECT_EQ(keep.records[0].GetSeverityValue(), -2);
}

TEST(CIniFile, SaveFailsWhereNoFileCanBeMadeAndKeepsPermissions)
{
    testsupport::TempDir dir;
    CIniFile ini;
    ini.push_back(CRec(CVar("S")));
    EXPECT_FALSE(ini.save(dir.str() + "/missing/dir/x.ini"));
    const std::string path = Write(dir, "mode.ini", "[S]\n");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(ini.save(path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
