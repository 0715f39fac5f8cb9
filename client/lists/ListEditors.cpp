#include "lists/ListEditors.h"

#include "lists/UserLists.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace mavo {

namespace {

// The typed customer number: whole decimal digits only, as the edit box
// lets through.
std::optional<int> TypedNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

CCustomerListEditor::CCustomerListEditor(std::vector<CustomerEntry> entries) : m_entries(std::move(entries))
{
    Check();
}

void CCustomerListEditor::SetNumberText(std::string text)
{
    if (text.size() > kNumberChars)
        text.resize(kNumberChars);
    m_number = std::move(text);
    Check();
}

void CCustomerListEditor::SetCentre(int centre)
{
    m_centre = (centre >= kFirstCentre && centre <= kLastCentre) ? centre : -1;
    Check();
}

void CCustomerListEditor::Select(int index)
{
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        m_buttons.selected = -1;
        m_buttons.removeEnabled = false;
        return;
    }
    m_buttons = {false, true, index};
}

bool CCustomerListEditor::Add()
{
    const std::optional<int> number = TypedNumber(m_number);
    if (!m_buttons.addEnabled || !number)
        return false;
    m_entries.push_back({*number, m_centre});
    m_number.clear();
    m_centre = 0;
    Check();
    return true;
}

bool CCustomerListEditor::Remove()
{
    const int index = m_buttons.selected;
    if (!m_buttons.removeEnabled || index < 0 || index >= static_cast<int>(m_entries.size()))
        return false;
    m_entries.erase(m_entries.begin() + index);
    m_number.clear();
    m_centre = -1;
    Check();
    return true;
}

void CCustomerListEditor::Check()
{
    const std::optional<int> number = TypedNumber(m_number);
    if (!number || *number < kFirstCustomer || *number > kLastCustomer || m_centre < 0) {
        m_buttons = {false, false, -1};
        return;
    }
    const CustomerEntry typed{*number, m_centre};
    const auto found = std::find(m_entries.begin(), m_entries.end(), typed);
    if (found != m_entries.end())
        m_buttons = {false, true, static_cast<int>(found - m_entries.begin())};
    else
        m_buttons = {true, false, -1};
}

CPageListEditor::CPageListEditor(std::vector<int> pages, PermissionTest permitted)
    : m_pages(std::move(pages)), m_permitted(std::move(permitted))
{
    Check();
}

void CPageListEditor::SetPage(int page)
{
    m_page = page;
    Check();
}

void CPageListEditor::Select(int index)
{
    if (index < 0 || index >= static_cast<int>(m_pages.size())) {
        m_buttons.selected = -1;
        m_buttons.removeEnabled = false;
        return;
    }
    m_page = m_pages[static_cast<std::size_t>(index)];
    Check();
}

CPageListEditor::AddResult CPageListEditor::Add()
{
    if (!m_buttons.addEnabled || m_page < kFirstPage || m_page > kLastPage)
        return AddResult::Disabled;
    if (m_permitted && !m_permitted(m_page))
        return AddResult::NoPermission;
    m_pages.push_back(m_page);
    Check();
    return AddResult::Added;
}

bool CPageListEditor::Remove()
{
    const int index = m_buttons.selected;
    if (!m_buttons.removeEnabled || index < 0 || index >= static_cast<int>(m_pages.size()))
        return false;
    m_pages.erase(m_pages.begin() + index);
    m_page = 1;
    Check();
    return true;
}

void CPageListEditor::Check()
{
    if (m_page < kFirstPage || m_page > kLastPage) {
        m_buttons = {false, false, -1};
        return;
    }
    const auto found = std::find(m_pages.begin(), m_pages.end(), m_page);
    if (found != m_pages.end())
        m_buttons = {false, true, static_cast<int>(found - m_pages.begin())};
    else
        m_buttons = {true, false, -1};
}

} // namespace mavo
