// The application's fixed identity and the places its settings live: name,
// version and build date given to Brindle at start-up, the settings root
// under the current user's registry key, the old root that a start moves
// over, and the machine string the feed libraries use to encode stored
// secrets.
//
// Constants and free functions without state, except MachineString, which
// reads the machine's id once; every function may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace mavo {

inline constexpr const char* kAppName = "MAVO";
inline constexpr const char* kAppVersion = "1.41";
inline constexpr const char* kAppBuildDate = "May  2 2007";

// Below HKEY_CURRENT_USER, '/'-separated as CRegSection takes it.
inline constexpr const char* kSettingsRoot = "Software/Halvern/MAVO";
// Where settings lived before; moved to kSettingsRoot at start-up.
inline constexpr const char* kOldSettingsParent = "Software/Corvane";
inline constexpr const char* kOldSettingsName = "MAVO";

// Sections of the settings root.
inline constexpr const char* kMainFrameSection = "MainFrame";
inline constexpr const char* kControllerSection = "Controller";
inline constexpr const char* kDocumentSection = "MAVO Document";
inline constexpr const char* kSubmitSection = "Submit";
inline constexpr const char* kPrintStyleSection = "PrintStyle";

// The name the running instance is found by (it named the main window's
// class on the original platform; here it names the instance's socket).
inline constexpr const char* kInstanceClassName = "Corvane_MAVO";

// The document template's texts (window title, document name, file type ...).
inline constexpr const char* kDocumentTemplateText = "\nMAVO\nMAVO\n\n\nMAVO.Document\nMAVO Document";

// The number the feed library gets as the client's version: major * 100 +
// minor of a "major.minor" text ("1.41" gives 141). Missing or malformed
// parts count as 0; a minor part longer than two digits keeps its first two.
int VersionNumber(std::string_view version);

// A stable text of 8 lowercase letters for this computer, derived from the
// machine id (/etc/machine-id, else the D-Bus machine id, else the host
// name). Read once per process.
const std::string& MachineString();

// The same derivation from a given id text (for tests and tools).
std::string MachineStringFrom(std::string_view machineId);

} // namespace mavo
