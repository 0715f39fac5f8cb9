// The settings root: one-step saves that lose nothing on failure, the order
// pages reopen in, and moving the old root over.
#include "core/SettingsStore.h"

#include "Brindle/base/RegSection.h"
#include "TempDir.h"
#include "core/AppIdentity.h"
#include "core/MainFrameSettings.h"
#include "zphsource/Controller.h"

#include <gtest/gtest.h>

#include <string>

using namespace mavo;

namespace {

constexpr const char* kRoot = "Software/Halvern/MAVO";

class SettingsStoreTest : public testing::Test {
protected:
    static Brindle::CRegSection Open(const std::string& path)
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, path.c_str());
    }
    static int Int(const std::string& path, const char* name, int def = -1)
    {
        int value = def;
        Open(path).GetInt(name, value, def);
        return value;
    }
    static std::string Str(const std::string& path, const char* name)
    {
        std::string value;
        Open(path).GetStr(name, value, 256, "<missing>");
        return value;
    }
    static bool KeyExists(const std::string& path)
    {
        std::string raw = path;
        for (char& c : raw)
            if (c == '/')
                c = '\\';
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, raw.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    // A previous save: a window rectangle and two pages.
    void StoreOldSettings()
    {
        Open(std::string(kRoot) + "/MainFrame").SetInt("Left", 123);
        Open(std::string(kRoot) + "/MainFrame").SetStr("PageList", "1 2 5 ");
        Open(std::string(kRoot) + "/MAVO Document/0").SetStr("Title", "Page 7");
        Open(std::string(kRoot) + "/MAVO Document/1").SetStr("Title", "Page 9");
    }

    SettingsStoreTest() { save.frame = &frame; }

    testsupport::ScopedRegistryDir registry;
    // What a save writes: the main frame's settings and whatever a test adds.
    CMainFrameSettings frame;
    SettingsSave save;
};

std::function<bool(const Brindle::CRegSection&)> WritePages(std::vector<std::string> titles)
{
    return [titles](const Brindle::CRegSection& documents) {
        for (std::size_t i = 0; i < titles.size(); ++i) {
            Brindle::CRegSection page(documents, std::to_string(i).c_str());
            if (!page.SetStr("Title", titles[i]))
                return false;
        }
        return true;
    };
}

} // namespace

TEST_F(SettingsStoreTest, SaveReplacesMainFrameAndPages)
{
    StoreOldSettings();
    frame.left = 77;
    save.documents = WritePages({"Page 3"});
    std::string error;
    ASSERT_TRUE(SaveAllSettings(kRoot, save, &error)) << error;

    EXPECT_EQ(Int(std::string(kRoot) + "/MainFrame", "Left"), 77);
    EXPECT_EQ(Int(std::string(kRoot) + "/MainFrame", "InfoKey"), 0);
    EXPECT_EQ(Str(std::string(kRoot) + "/MAVO Document/0", "Title"), "Page 3");
    EXPECT_FALSE(KeyExists(std::string(kRoot) + "/MAVO Document/1"));
}

TEST_F(SettingsStoreTest, AFailedWriteLeavesThePreviousSettingsWhole)
{
    StoreOldSettings();
    frame.left = 77;
    // The pages fail half-way: the first is written, the second is refused.
    save.documents = [](const Brindle::CRegSection& documents) {
        Brindle::CRegSection page(documents, "0");
        page.SetStr("Title", "half-written");
        return false;
    };
    std::string error;
    EXPECT_FALSE(SaveAllSettings(kRoot, save, &error));
    EXPECT_FALSE(error.empty());

    EXPECT_EQ(Int(std::string(kRoot) + "/MainFrame", "Left"), 123);
    EXPECT_EQ(Str(std::string(kRoot) + "/MAVO Document/0", "Title"), "Page 7");
    EXPECT_EQ(Str(std::string(kRoot) + "/MAVO Document/1", "Title"), "Page 9");
}

TEST_F(SettingsStoreTest, WhatThisSaveDoesNotWriteIsCarriedOver)
{
    StoreOldSettings();
    ASSERT_TRUE(SaveAllSettings(kRoot, save));
    // Without page documents the stored pages stay.
    EXPECT_EQ(Str(std::string(kRoot) + "/MAVO Document/0", "Title"), "Page 7");
    EXPECT_EQ(Str(std::string(kRoot) + "/MAVO Document/1", "Title"), "Page 9");
    // No module of this build writes the page list; it is not lost.
    EXPECT_EQ(Str(std::string(kRoot) + "/MainFrame", "PageList"), "1 2 5 ");

    // A module that does write it wins over the old value.
    save.mainFrameExtras = [](const Brindle::CRegSection& mainFrame) {
        return mainFrame.SetStr("PageList", "3 ") != 0;
    };
    ASSERT_TRUE(SaveAllSettings(kRoot, save));
    EXPECT_EQ(Str(std::string(kRoot) + "/MainFrame", "PageList"), "3 ");
}

TEST_F(SettingsStoreTest, ControllerValuesGoToTheControllerSection)
{
    CController controller;
    SourceSettings backup;
    backup.kind = ZPHWire::SOURCE_SOCKET;
    backup.socketPort = 7001;
    controller.SetSourceSettings(ROLE_BACKUP, backup);
    controller.SetFailover(1);

    save.controller = &controller;
    save.machine = "abcdefgh";
    ASSERT_TRUE(SaveAllSettings(kRoot, save));
    EXPECT_EQ(Int(std::string(kRoot) + "/Controller", "Failover"), 1);
    EXPECT_EQ(Int(std::string(kRoot) + "/Controller/Backup", "FeedSource"), 1);
    EXPECT_EQ(Int(std::string(kRoot) + "/Controller/Backup/Socket", "Port"), 7001);
}

TEST_F(SettingsStoreTest, PagesReopenInNumericOrder)
{
    const std::string documents = std::string(kRoot) + "/MAVO Document";
    for (const char* name : {"0", "1", "2", "10", "11", "3", "extra"})
        Open(documents + "/" + name).SetInt("Page", 1);
    EXPECT_EQ(DocumentSectionNames(Open(documents)),
              (std::vector<std::string>{"0", "1", "2", "3", "10", "11", "extra"}));
    EXPECT_TRUE(DocumentSectionNames(Open(std::string(kRoot) + "/Nothing")).empty());
}

TEST_F(SettingsStoreTest, OldSettingsAreMovedAndWinOverNewOnes)
{
    // No old root: nothing is made.
    EXPECT_EQ(MoveOldSettings("Software/Corvane", "MAVO", kRoot), MoveResult::NothingToMove);
    EXPECT_FALSE(KeyExists("Software/Corvane"));
    EXPECT_FALSE(KeyExists(kRoot));

    Open("Software/Corvane/MAVO/MainFrame").SetInt("Left", 11);
    Open("Software/Corvane/MAVO/Controller/Socket").SetStr("Host", "old-host");
    Open(std::string(kRoot) + "/MainFrame").SetInt("Left", 99);
    Open(std::string(kRoot) + "/MainFrame").SetInt("Top", 98);

    EXPECT_EQ(MoveOldSettings("Software/Corvane", "MAVO", kRoot), MoveResult::Moved);
    EXPECT_EQ(Int(std::string(kRoot) + "/MainFrame", "Left"), 11);
    EXPECT_EQ(Int(std::string(kRoot) + "/MainFrame", "Top"), 98);
    EXPECT_EQ(Str(std::string(kRoot) + "/Controller/Socket", "Host"), "old-host");
    EXPECT_FALSE(KeyExists("Software/Corvane/MAVO"));
    EXPECT_TRUE(KeyExists("Software/Corvane"));

    // Nothing left to move: nothing happens, nothing is made.
    EXPECT_EQ(MoveOldSettings("Software/Corvane", "MAVO", kRoot), MoveResult::NothingToMove);
    EXPECT_FALSE(KeyExists("Software/Corvane/MAVO"));
}

TEST_F(SettingsStoreTest, OldSettingsStayWhenTheCopyFails)
{
    Open("Software/Corvane/MAVO/MainFrame").SetInt("Left", 11);
    // A target the store cannot make (a key name longer than 255 bytes).
    const std::string badRoot = "Software/" + std::string(300, 'x');
    EXPECT_EQ(MoveOldSettings("Software/Corvane", "MAVO", badRoot.c_str()), MoveResult::CopyFailed);
    EXPECT_TRUE(KeyExists("Software/Corvane/MAVO"));
    EXPECT_EQ(Int("Software/Corvane/MAVO/MainFrame", "Left"), 11);
}

