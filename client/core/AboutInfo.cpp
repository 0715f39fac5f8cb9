#include "core/AboutInfo.h"

#include "Brindle/base/RegSection.h"
#include "Brindle/base/Timestamp.h"

namespace mavo {

namespace {

constexpr int kTextSize = 261;  // 260 characters and the terminator

std::string GetText(const Brindle::CRegSection& s, const char* name, const char* def)
{
    char buffer[kTextSize];
    s.GetStr(name, buffer, kTextSize, def);
    return buffer;
}

std::string WithQuery(const std::string& address, const char* version)
{
    return address + "?a=MAVO&v=" + version;
}

} // namespace

AboutInfo AboutInfo::Defaults()
{
    return AboutInfo{kDefaultHelpdeskPhone, kDefaultHelpdeskEmail, kDefaultUrlUpgrade, kDefaultUrlEula};
}

AboutInfo AboutInfo::Load(const Brindle::CRegSection& submit)
{
    AboutInfo info;
    info.helpdeskPhone = GetText(submit, "Helpdesk Phone", kDefaultHelpdeskPhone);
    info.helpdeskEmail = GetText(submit, "Helpdesk Email", kDefaultHelpdeskEmail);
    info.urlUpgrade = GetText(submit, "URL Upgrade", kDefaultUrlUpgrade);
    info.urlEula = GetText(submit, "URL EULA", kDefaultUrlEula);
    return info;
}

std::string AboutInfo::VersionLine(const char* version) { return std::string("MAVO Version ") + version; }

std::string AboutInfo::BuildDateLine(const char* buildDate) { return std::string("Build Date: ") + buildDate; }

std::string AboutInfo::StartedLine(long startTime)
{
    return Brindle::CTimestamp(startTime).Format("Started: %b %d, %Y at %I:%M %p");
}

std::string AboutInfo::ContactLine() const { return "Contact Pelmor support at " + helpdeskPhone; }

std::string AboutInfo::EmailTarget() const { return "mailto:" + helpdeskEmail; }

std::string AboutInfo::UpgradeTarget(const char* version) const { return WithQuery(urlUpgrade, version); }

std::string AboutInfo::EulaTarget(const char* version) const { return WithQuery(urlEula, version); }

std::string ShellErrorText(int code)
{
    switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    case 5: return "The operating system denied\naccess to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return "A sharing violation occurred. ";
    case 27: return "The filename association is\nincomplete or invalid.";
    case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30: return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
    case 31: return "There is no application associated\nwith the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: return "Unknown Error (" + std::to_string(code) + ") occurred.";
    }
}

} // namespace mavo
