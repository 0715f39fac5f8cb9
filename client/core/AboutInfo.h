// What the About box shows: the version lines, the start time, the helpdesk
// texts and addresses from the "Submit" section (each with a built-in
// default), the link targets, and the texts for a link that would not open.
//
// Thread-safety: a plain value and pure functions; one thread at a time.
#pragma once

#include <string>

namespace Brindle {
class CRegSection;
}

namespace mavo {

struct AboutInfo {
    // The texts of "Submit" (strings of up to 260 characters).
    std::string helpdeskPhone;
    std::string helpdeskEmail;
    std::string urlUpgrade;
    std::string urlEula;

    // Reads "Helpdesk Phone", "Helpdesk Email", "URL Upgrade" and "URL EULA";
    // a missing or over-long value gives the default.
    static AboutInfo Load(const Brindle::CRegSection& submit);
    static AboutInfo Defaults();

    // "MAVO Version 1.41", "Build Date: May  2 2007".
    static std::string VersionLine(const char* version);
    static std::string BuildDateLine(const char* buildDate);
    // "Started: %b %d, %Y at %I:%M %p" of a time in seconds since 1970.
    static std::string StartedLine(long startTime);
    // "Contact Pelmor support at " and the telephone text.
    std::string ContactLine() const;

    std::string EmailTarget() const;    // "mailto:" and the address
    std::string UpgradeTarget(const char* version) const;  // "...?a=MAVO&v=1.41"
    std::string EulaTarget(const char* version) const;
};

inline constexpr const char* kDefaultHelpdeskPhone = "+1 212 555 0147";
inline constexpr const char* kDefaultHelpdeskEmail = "mavo.support@pelmor.example";
inline constexpr const char* kDefaultUrlUpgrade = "https://www.halvern.example/mavo/upgrade";
inline constexpr const char* kDefaultUrlEula = "https://www.halvern.example/mavo/eula";

inline constexpr const char* kEmailPrompt = "or send email to";
inline constexpr const char* kUpgradeLinkText = "Click here to check for upgrade";
inline constexpr const char* kEulaLinkText = "Read the end user license agreement";
inline constexpr const char* kLinkErrorPrefix = "Unable to open hyperlink:\n\n";

// The text for a shell-open error code, as the link error shows it.
std::string ShellErrorText(int code);

// Shell-open error codes a failed open on this platform maps to.
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellAccessDenied = 5;
inline constexpr int kShellNoAssociation = 31;

} // namespace mavo
