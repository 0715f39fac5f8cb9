// The rules of the two list dialogs, without a display: what the typed
// entry selects and which of "Add" and "Remove" it enables, and what Add,
// Remove and a selection do to the entries and the typed fields. The
// dialogs hold one editor each and only show its state.
//
// Customer List: the typed number (text, at most 4 characters) and centre
// (index 0..9, or none). A number outside 1..998 or no centre disables both
// buttons; an entry the list already holds is selected and enables only
// "Remove"; any other enables only "Add". Add appends the typed entry and
// clears the number and sets the centre to "Any"; Remove deletes the
// selected entry and clears both fields.
//
// Page List: the typed page (1..300 from the spin control). Below 1
// disables both; a listed page is selected and enables only "Remove";
// otherwise only "Add". Add appends the page when the feed allows the user
// to see it (else refuses, for the no-permission message); Remove deletes
// the selected page and sets the field to 1; selecting a page copies it
// into the field.
//
// Thread-safety: one thread at a time.
#pragma once

#include "lists/StoredLists.h"

#include <functional>
#include <string>
#include <vector>

namespace mavo {

struct ListButtons {
    bool addEnabled = false;
    bool removeEnabled = false;
    int selected = -1;  // the entry selected, -1 none
    friend bool operator==(const ListButtons&, const ListButtons&) = default;
};

class CCustomerListEditor {
public:
    static constexpr int kNumberChars = 4;

    explicit CCustomerListEditor(std::vector<CustomerEntry> entries = {});

    const std::vector<CustomerEntry>& Entries() const { return m_entries; }
    const std::string& NumberText() const { return m_number; }
    int Centre() const { return m_centre; }
    const ListButtons& Buttons() const { return m_buttons; }

    // Typing: the number is kept to its first 4 characters.
    void SetNumberText(std::string text);
    // -1: no centre chosen.
    void SetCentre(int centre);
    // Selecting an entry in the list (-1 clears the selection).
    void Select(int index);
    // False (nothing changed) while Add is disabled.
    bool Add();
    // False (nothing changed) while Remove is disabled or nothing is selected.
    bool Remove();

private:
    void Check();

    std::vector<CustomerEntry> m_entries;
    std::string m_number;
    int m_centre = 0;
    ListButtons m_buttons;
};

class CPageListEditor {
public:
    using PermissionTest = std::function<bool(int page)>;

    CPageListEditor(std::vector<int> pages, PermissionTest permitted);

    const std::vector<int>& Pages() const { return m_pages; }
    int Page() const { return m_page; }
    const ListButtons& Buttons() const { return m_buttons; }

    void SetPage(int page);
    void Select(int index);
    enum class AddResult { Added, Disabled, NoPermission };
    AddResult Add();
    bool Remove();

private:
    void Check();

    std::vector<int> m_pages;
    PermissionTest m_permitted;
    int m_page = 1;
    ListButtons m_buttons;
};

} // namespace mavo
