// The customer and page lists: their stored forms (forgiving parsing, whole
// values however long), the customer test against centres, the page test,
// and the rules of the two list dialogs.
#include "lists/ListEditors.h"
#include "lists/PagePermission.h"
#include "lists/StoredLists.h"
#include "lists/UserLists.h"

#include "Brindle/base/RegSection.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mavo;

namespace {

using Entries = std::vector<CustomerEntry>;

// Disable pages, disable centre colours, disable my-customer colours.
std::tuple<bool, bool, bool> Switches(const CUserLists& lists)
{
    return {lists.DisablePages(), lists.DisableCenter(), lists.DisableCustomer()};
}

class UserListsStoreTest : public testing::Test {
protected:
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection section{HKEY_CURRENT_USER, "Software/Test/MainFrame"};
};

} // namespace

TEST(StoredListsTest, CustomerPairsDropCustomerZeroAndUnpairedNumbersAndMapBadCentresToAny)
{
    // Tokens that are no whole number: a bad customer drops its pair, a bad
    // centre is "Any"; the pairing is kept either way.
    const std::pair<const char*, Entries> lists[] = {
        {"123 2 45 12 0 3", {{123, 2}, {45, 0}}}, {"7 -1 -5 3 8 9", {{7, 0}, {8, 9}}},
        {"12x 3 40 y 41 3.5 42 1", {{40, 0}, {41, 0}, {42, 1}}}, {"99999999999 1 5 1", {{5, 1}}},
        {"10 1 20", {{10, 1}}}, {"20", {}}, {"", {}}, {"   \t ", {}}};
    for (const auto& [text, entries] : lists)
        EXPECT_EQ(ParseCustomerList(text), entries) << '"' << text << '"';
}

TEST(StoredListsTest, PagesOutsideTheFeedsRangeAreDropped)
{
    EXPECT_EQ(ParsePageNumbers("0 1 300 301 -4 17 x 5"), (std::vector<int>{1, 300, 17, 5}));
    EXPECT_EQ(ParsePageNumbers("\t2\n3  "), (std::vector<int>{2, 3}));
}

TEST(StoredListsTest, FormsAreWrittenAsTheyAreRead)
{
    EXPECT_EQ(FormatCustomerList({{123, 2}, {45, 0}}), "123 2 45 0 ");
    EXPECT_EQ(FormatPageNumbers({1, 5, 17}), "1 5 17 ");
    EXPECT_EQ(FormatPageNumbers({}), "");
}

TEST_F(UserListsStoreTest, DefaultsWhenNothingIsStored)
{
    CUserLists lists;
    lists.Load(section);
    EXPECT_TRUE(lists.Customers().empty());
    EXPECT_TRUE(lists.Pages().empty());
    EXPECT_EQ(Switches(lists), std::tuple(true, false, false));
    // Page checking off by default: no page is unlisted.
    for (int page : {1, 2, 150, 300})
        EXPECT_TRUE(lists.IsPageListed(page));
}

TEST_F(UserListsStoreTest, LongListsSurviveASaveAndALoadWhole)
{
    CUserLists lists;
    Entries customers;
    for (int i = 0; i < 60; ++i)
        customers.push_back({990 - i * 16, i % 10});
    std::vector<int> pages;
    for (int page = 300; page >= 1; --page)
        pages.push_back(page);
    lists.SetCustomers(customers);
    lists.SetPages(pages);
    lists.SetDisablePages(false);
    lists.SetDisableCenter(true);
    ASSERT_TRUE(lists.Save(section));

    std::string stored;
    ASSERT_TRUE(ReadWholeString(section, "PageList", stored));
    EXPECT_GT(stored.size(), 256u);
    EXPECT_EQ(stored.substr(0, 6), "1 2 3 ");

    CUserLists loaded;
    loaded.Load(section);
    EXPECT_EQ(loaded.Customers(), customers);
    EXPECT_EQ(loaded.Pages(), std::vector<int>(pages.rbegin(), pages.rend()));  // ascending
    EXPECT_EQ(Switches(loaded), std::tuple(false, true, false));
}

TEST_F(UserListsStoreTest, ValuesOfAnotherTypeReadAsEmpty)
{
    section.SetInt("CustomerList", 5);
    section.SetStr("PageList", "4 4 2 999");
    CUserLists lists;
    lists.Load(section);
    EXPECT_TRUE(lists.Customers().empty());
    // Ascending, once each, in range.
    EXPECT_EQ(lists.Pages(), (std::vector<int>{2, 4}));
}

TEST(UserListsTest, CustomerTestMatchesAnyOrTheCentreOfTheCode)
{
    CUserLists lists;
    lists.SetCustomers({{123, 2}, {45, 0}});
    // Centre "Any" (45's) matches every centre code.
    const std::tuple<int, int, bool> cases[] = {{123, 250, true}, {123, 200, true}, {123, 310, false},
                                                {123, 0, false},  {45, 0, true},    {45, 1050, true},
                                                {46, 0, false}};
    for (const auto& [number, centre, mine] : cases)
        EXPECT_EQ(lists.IsMyCustomer(number, centre), mine) << number << " at " << centre;
}

TEST(UserListsTest, PageTestWithPageChecking)
{
    CUserLists lists;
    lists.SetPages({5, 3, 5, 301, 0});
    EXPECT_EQ(lists.Pages(), (std::vector<int>{3, 5}));
    for (bool disabled : {false, true})
        for (int page : {3, 4, 5}) {
            lists.SetDisablePages(disabled);
            EXPECT_EQ(lists.IsPageListed(page), disabled || page != 4) << page << " disabled " << disabled;
        }
}

TEST(UserListsTest, RepeatedCustomerEntriesAreKeptOnce)
{
    CUserLists lists;
    lists.SetCustomers({{5, 1}, {6, 0}, {5, 1}, {5, 2}});
    EXPECT_EQ(lists.Customers(), (Entries{{5, 1}, {6, 0}, {5, 2}}));
}

TEST(UserListsTest, CentreNamesAndEntryTexts)
{
    EXPECT_STREQ(CentreName(9), "Location 9");
    for (int centre = 0; centre < 10; ++centre)
        EXPECT_EQ(CentreIndexOf(CentreName(centre)), centre) << CentreName(centre);
    EXPECT_EQ(CentreIndexOf("Tokyo"), 0);
    EXPECT_EQ(CustomerEntryText({123, 2}), "123\tLondon");
    CustomerEntry entry;
    for (const auto& [text, parsed] : {std::pair{"77\tMexico", CustomerEntry{77, 4}}, {"78\tNowhere", {78, 0}}}) {
        ASSERT_TRUE(ParseCustomerEntryText(text, entry));
        EXPECT_EQ(entry, parsed) << text;
    }
    EXPECT_FALSE(ParseCustomerEntryText("\tLondon", entry));
}

TEST(CustomerListEditorTest, NumbersOutsideTheRangeOrNoCentreDisableBoth)
{
    CCustomerListEditor editor;
    const ListButtons none{false, false, -1};
    for (const char* text : {"", "0", "999", "-1", "12a"}) {
        editor.SetNumberText(text);
        EXPECT_EQ(editor.Buttons(), none) << text;
    }
    editor.SetNumberText("998");
    EXPECT_EQ(editor.Buttons(), (ListButtons{true, false, -1}));
    editor.SetCentre(-1);
    EXPECT_EQ(editor.Buttons(), none);
    // The number keeps its first four characters.
    editor.SetNumberText("123456");
    EXPECT_EQ(editor.NumberText(), "1234");
}

TEST(CustomerListEditorTest, AddThenTypingTheSameEntrySelectsIt)
{
    CCustomerListEditor editor({{10, 1}});
    editor.SetNumberText("123");
    editor.SetCentre(2);
    ASSERT_TRUE(editor.Add());
    EXPECT_EQ(std::tuple(editor.Entries(), editor.NumberText(), editor.Centre()),
              std::tuple(Entries{{10, 1}, {123, 2}}, "", 0));
    EXPECT_FALSE(editor.Add());

    editor.SetNumberText("123");
    EXPECT_EQ(editor.Buttons(), (ListButtons{true, false, -1}));  // (123, Any) is not listed
    editor.SetCentre(2);
    EXPECT_EQ(editor.Buttons(), (ListButtons{false, true, 1}));
    EXPECT_FALSE(editor.Add());
    ASSERT_TRUE(editor.Remove());
    EXPECT_EQ(std::pair(editor.Entries(), editor.NumberText()), std::pair(Entries{{10, 1}}, std::string()));
    EXPECT_FALSE(editor.Remove());
}

TEST(CustomerListEditorTest, SelectingAnEntryEnablesOnlyRemove)
{
    CCustomerListEditor editor({{10, 1}, {11, 0}});
    editor.SetNumberText("500");
    editor.Select(1);
    EXPECT_EQ(editor.Buttons(), (ListButtons{false, true, 1}));
    ASSERT_TRUE(editor.Remove());
    EXPECT_EQ(editor.Entries(), (Entries{{10, 1}}));
    editor.Select(5);
    EXPECT_FALSE(editor.Remove());
}

TEST(PageListEditorTest, FieldSelectsListedPagesAndAddAsksThePermission)
{
    CPageListEditor editor({4, 2}, [](int page) { return page != 7; });
    editor.SetPage(2);
    EXPECT_EQ(editor.Buttons(), (ListButtons{false, true, 1}));
    editor.SetPage(0);
    EXPECT_EQ(editor.Buttons(), (ListButtons{false, false, -1}));
    editor.SetPage(301);
    EXPECT_EQ(editor.Add(), CPageListEditor::AddResult::Disabled);
    editor.SetPage(7);
    EXPECT_EQ(editor.Buttons(), (ListButtons{true, false, -1}));
    EXPECT_EQ(editor.Add(), CPageListEditor::AddResult::NoPermission);
    EXPECT_EQ(editor.Pages(), (std::vector<int>{4, 2}));
    editor.SetPage(9);
    EXPECT_EQ(editor.Add(), CPageListEditor::AddResult::Added);
    EXPECT_EQ(editor.Pages(), (std::vector<int>{4, 2, 9}));
    EXPECT_EQ(editor.Buttons(), (ListButtons{false, true, 2}));
}

TEST(PageListEditorTest, SelectCopiesThePageAndRemoveResetsTheFieldToOne)
{
    CPageListEditor editor({4, 2}, {});
    editor.Select(0);
    EXPECT_EQ(std::pair(editor.Page(), editor.Buttons()), std::pair(4, ListButtons{false, true, 0}));
    ASSERT_TRUE(editor.Remove());
    EXPECT_EQ(editor.Pages(), (std::vector<int>{2}));
    EXPECT_EQ(std::pair(editor.Page(), editor.Buttons()), std::pair(1, ListButtons{true, false, -1}));
}

TEST(PagePermissionTest, ListsEveryPermittedPage)
{
    const auto texts = PermittedPageTexts([](int page) { return page <= 3 || page == 300 || page == 301; });
    EXPECT_EQ(texts, (std::vector<std::string>{"1", "2", "3", "300"}));
    EXPECT_TRUE(PermittedPageTexts({}).empty());
}
