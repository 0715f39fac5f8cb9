// The settings root as a whole: moving the old root over at start-up, the
// order in which stored pages reopen, and saving every section of the main
// window in one step of the store.
//
// Thread-safety: free functions; they use the registry store, which
// serialises. SaveAllSettings runs on the caller's thread, and whatever its
// writers do in the registry on that thread joins its transaction.
#pragma once

#include "core/FeedLibrary.h"

#include <functional>
#include <string>
#include <vector>

namespace ZPH {
class CController;
} // namespace ZPH

namespace Brindle {
class CRegSection;
}

namespace mavo {

class CMainFrameSettings;

enum class MoveResult {
    NothingToMove,  // no old root
    Moved,          // copied over the new root, old root deleted
    CopyFailed,     // nothing changed; the old root stays
};

// If HKEY_CURRENT_USER has the old root (kOldSettingsParent/kOldSettingsName),
// copies its whole tree over `newRoot` (values of the old tree win) and then
// deletes the old tree. The old tree is deleted only when the copy
// succeeded, so a failed copy loses nothing.
MoveResult MoveOldSettings(const char* oldParent, const char* oldName, const char* newRoot);

// The subsection names of a "MAVO Document" section in the order the pages
// were saved: names that are numbers in numeric order ("2" before "10"),
// then any other names in the store's order.
std::vector<std::string> DocumentSectionNames(const Brindle::CRegSection& documents);

// What a save writes. Writers return false when the store refused a write.
struct SettingsSave {
    const CMainFrameSettings* frame = nullptr;
    // Further values of "MainFrame" (the customer and page lists ...).
    std::function<bool(const Brindle::CRegSection& mainFrame)> mainFrameExtras;
    // Other sections below the root ("PrintStyle" ...).
    std::function<bool(const Brindle::CRegSection& root)> otherSections;
    // The feed controller's values in "Controller"; may be null.
    CController* controller = nullptr;
    const char* machine = "";
    // The open pages into "MAVO Document" (subsections "0", "1", ...). Not
    // set when this build has no page documents: the stored pages then stay
    // as they are.
    std::function<bool(const Brindle::CRegSection& documents)> documents;
};

// Saves every section below `root` (a path under HKEY_CURRENT_USER) in one
// transaction of the store: "MainFrame" and "MAVO Document" are replaced
// whole, so values no longer written disappear, and a failure or a crash
// part-way leaves the previous settings untouched. Values of "MainFrame"
// that no writer wrote this time (written by a module this build lacks)
// are carried over. True when everything was written and committed;
// otherwise `error` says why and nothing changed.
bool SaveAllSettings(const char* root, const SettingsSave& save, std::string* error = nullptr);

} // namespace mavo
