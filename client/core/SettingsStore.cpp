#include "core/SettingsStore.h"

#include "Brindle/base/RegSection.h"
#include "Platform/Registry.h"
#include "core/AppIdentity.h"
#include "core/MainFrameSettings.h"
#include "core/FeedLibrary.h"
#include "zphsource/Controller.h"

#include <algorithm>
#include <cstring>

namespace mavo {

namespace {

std::string RegistryPath(const std::string& slashPath)
{
    std::string path = slashPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

struct RawValue {
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// Every value of a key with its type and bytes.
std::vector<RawValue> ReadValues(HKEY key)
{
    std::vector<RawValue> values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameChars = sizeof name;
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegEnumValueA(key, index, name, &nameChars, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            break;
        RawValue value;
        value.name.assign(name, nameChars);
        value.type = type;
        value.data.resize(size);
        DWORD got = size;
        DWORD dataType = 0;
        if (RegQueryValueExA(key, value.name.c_str(), nullptr, &dataType,
                             value.data.empty() ? nullptr : value.data.data(), &got) != ERROR_SUCCESS)
            continue;
        value.data.resize(got);
        values.push_back(std::move(value));
    }
    return values;
}

bool HasValue(HKEY key, const std::string& name)
{
    DWORD type = 0;
    DWORD size = 0;
    const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

bool Fail(std::string* error, const std::string& text)
{
    if (error != nullptr)
        *error = text;
    return false;
}

} // namespace

MoveResult MoveOldSettings(const char* oldParent, const char* oldName, const char* newRoot)
{
    const std::string oldPath = RegistryPath(std::string(oldParent) + "/" + oldName);
    HKEY oldKey = nullptr;
    // Opened, never created: without the old root nothing happens.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, oldPath.c_str(), 0, KEY_READ, &oldKey) != ERROR_SUCCESS)
        return MoveResult::NothingToMove;
    Brindle::CRegSection target(HKEY_CURRENT_USER, newRoot);
    const bool copied = target.IsOpen() && Brindle::CRegSection::CopyRegistry(oldKey, target) == 1;
    RegCloseKey(oldKey);
    if (!copied)
        return MoveResult::CopyFailed;
    Brindle::CRegSection parent(HKEY_CURRENT_USER, oldParent);
    if (parent.IsOpen())
        Brindle::CRegSection::DeleteKey(parent, oldName);
    return MoveResult::Moved;
}

std::vector<std::string> DocumentSectionNames(const Brindle::CRegSection& documents)
{
    struct Entry {
        std::string name;
        bool numeric;
        unsigned long long number;
        std::size_t order;
    };
    std::vector<Entry> entries;
    char name[256];
    int index = 0;
    while (documents.EnumKey(index, name, sizeof name) == 1) {
        Entry e{name, false, 0, entries.size()};
        const std::size_t length = std::strlen(name);
        if (length > 0 && length <= 18 && std::all_of(name, name + length, [](char c) { return c >= '0' && c <= '9'; })) {
            e.numeric = true;
            e.number = std::stoull(e.name);
        }
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.numeric != b.numeric)
            return a.numeric;
        if (a.numeric)
            return a.number < b.number;
        return a.order < b.order;
    });
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (auto& e : entries)
        names.push_back(std::move(e.name));
    return names;
}

bool SaveAllSettings(const char* root, const SettingsSave& save, std::string* error)
{
    RegTransaction transaction(HKEY_CURRENT_USER, RegTransaction::Mode::Write);
    if (transaction.Status() != ERROR_SUCCESS)
        return Fail(error, "the settings store is not available");

    Brindle::CRegSection rootSection(HKEY_CURRENT_USER, root);
    if (!rootSection.IsOpen())
        return Fail(error, std::string("cannot open ") + root);

    // Values of "MainFrame" that this build does not write survive the save.
    std::vector<RawValue> previous;
    {
        HKEY old = nullptr;
        if (RegOpenKeyExA(rootSection, kMainFrameSection, 0, KEY_READ, &old) == ERROR_SUCCESS) {
            previous = ReadValues(old);
            RegCloseKey(old);
        }
    }

    Brindle::CRegSection::DeleteKey(rootSection, kMainFrameSection);
    if (save.documents)
        Brindle::CRegSection::DeleteKey(rootSection, kDocumentSection);

    Brindle::CRegSection mainFrame(rootSection, kMainFrameSection);
    if (!mainFrame.IsOpen())
        return Fail(error, "cannot write the section MainFrame");
    if (save.frame != nullptr && !save.frame->Save(mainFrame))
        return Fail(error, "cannot write the section MainFrame");
    if (save.mainFrameExtras && !save.mainFrameExtras(mainFrame))
        return Fail(error, "cannot write the section MainFrame");
    for (const RawValue& value : previous) {
        if (HasValue(mainFrame, value.name))
            continue;
        if (RegSetValueExA(mainFrame, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
            return Fail(error, "cannot write the section MainFrame");
    }

    if (save.otherSections && !save.otherSections(rootSection))
        return Fail(error, "cannot write the print format");

    if (save.controller != nullptr) {
        // The store compares section names without regard to case, so this
        // is the "Controller" section.
        Brindle::CRegSection controller(rootSection, "controller");
        if (!controller.IsOpen() || !save.controller->SaveSettings(controller, save.machine) ||
            !save.controller->SaveFeedSettings(controller, save.machine))
            return Fail(error, "cannot write the section Controller");
    }

    if (save.documents) {
        Brindle::CRegSection documents(rootSection, kDocumentSection);
        if (!documents.IsOpen() || !save.documents(documents))
            return Fail(error, "cannot write the open pages");
    }

    const LONG rc = transaction.Commit();
    if (rc != ERROR_SUCCESS)
        return Fail(error, "the settings store refused the save (" + std::to_string(rc) + ")");
    return true;
}

} // namespace mavo
