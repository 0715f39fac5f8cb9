#include "Brindle/base/Identity.h"

#include "Brindle/base/CritSec.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <dirent.h>
#include <fstream>
#include <netdb.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace Brindle {

namespace {

const long g_startTimestamp = static_cast<long>(std::time(nullptr));

constexpr std::size_t kTextCapacity = 255;
constexpr std::size_t kDescriptionCapacity = 1023;
const char* const kUnknown = "<unknown>";

// One identity text. Every text that was ever handed out stays in `m_texts`
// (a deque never moves its elements), so a caller's pointer outlives any
// later setter. A text nobody was given is reused in place.
class IdentityText {
public:
    explicit IdentityText(std::size_t capacity) : m_capacity(capacity) {}

    // Under the system lock.
    bool IsSet() const { return !m_texts.empty(); }
    void Set(const char* text)
    {
        std::string value = text == nullptr ? std::string() : std::string(text, strnlen(text, m_capacity));
        if (!m_texts.empty() && m_texts.back() == value)
            return;
        if (!m_texts.empty() && !m_handedOut)
            m_texts.back() = std::move(value);
        else
            m_texts.push_back(std::move(value));
        m_handedOut = false;
    }
    const char* Get()
    {
        m_handedOut = true;
        return m_texts.back().c_str();
    }

private:
    std::size_t m_capacity;
    std::deque<std::string> m_texts;
    bool m_handedOut = false;
};

struct Identity {
    IdentityText applicationName{kTextCapacity};
    IdentityText version{kTextCapacity};
    IdentityText buildDate{kTextCapacity};
    IdentityText description{kDescriptionCapacity};
    IdentityText loginName{kTextCapacity};
    IdentityText hostName{kTextCapacity};
    IdentityText ipAddress{kTextCapacity};
    bool ipResolved = false;
    std::deque<std::string> macAddresses;
};

Identity& State()
{
    // Lives as long as the process: the texts are handed out for that long.
    static Identity* identity = new Identity;
    return *identity;
}

const char* GetOrDefault(IdentityText Identity::*item, const char* def)
{
    CSystemLock lock;
    IdentityText& text = State().*item;
    if (!text.IsSet())
        text.Set(def);
    return text.Get();
}

void SetText(IdentityText Identity::*item, const char* value)
{
    CSystemLock lock;
    (State().*item).Set(value);
}

// The start-up title of the process (how it was started, as argv[0] has it)
// without directory and extension.
std::string DerivedApplicationName()
{
    std::string title = program_invocation_name != nullptr ? program_invocation_name : "";
    if (title.empty()) {
        char exe[4096] = {};
        ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (length > 0)
            title.assign(exe, static_cast<std::size_t>(length));
    }
    std::size_t cut = title.find_last_of('\\');
    if (cut != std::string::npos)
        title.erase(0, cut + 1);
    cut = title.find_last_of('/');
    if (cut != std::string::npos)
        title.erase(0, cut + 1);
    cut = title.find_last_of('.');
    if (cut != std::string::npos)
        title.erase(cut);
    return title;
}

std::string LoginName()
{
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> scratch(16384);
    if (getpwuid_r(geteuid(), &pw, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
        return found->pw_name;
    for (const char* variable : {"USER", "LOGNAME"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0')
            return value;
    }
    return std::to_string(geteuid());
}

std::string ReadFirstLine(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

void SetLocalApplicationName(const char* name)
{
    SetText(&Identity::applicationName, name);
}

const char* GetLocalApplicationName()
{
    {
        CSystemLock lock;
        if (State().applicationName.IsSet())
            return State().applicationName.Get();
    }
    std::string derived = DerivedApplicationName();
    return GetOrDefault(&Identity::applicationName, derived.c_str());
}

void SetLocalVersion(const char* version)
{
    SetText(&Identity::version, version);
}

const char* GetLocalVersion()
{
    return GetOrDefault(&Identity::version, kUnknown);
}

void SetLocalBuildDate(const char* date)
{
    SetText(&Identity::buildDate, date);
}

const char* GetLocalBuildDate()
{
    return GetOrDefault(&Identity::buildDate, kUnknown);
}

void SetAppDescription(const char* description)
{
    SetText(&Identity::description, description);
}

const char* GetAppDescription()
{
    return GetOrDefault(&Identity::description, kUnknown);
}

const char* GetLocalLoginName()
{
    {
        CSystemLock lock;
        if (State().loginName.IsSet())
            return State().loginName.Get();
    }
    std::string name = LoginName();
    return GetOrDefault(&Identity::loginName, name.c_str());
}

const char* GetLocalHostname()
{
    CSystemLock lock;
    IdentityText& text = State().hostName;
    if (!text.IsSet() || text.Get()[0] == '\0') {
        char host[kTextCapacity + 1] = {};
        if (gethostname(host, sizeof host - 1) != 0)
            host[0] = '\0'; // fetched again next time
        text.Set(host);
    }
    return text.Get();
}

const char* GetLocalIPAddress()
{
    std::string host;
    {
        CSystemLock lock;
        if (State().ipResolved)
            return State().ipAddress.Get();
        host = GetLocalHostname();
    }
    // Resolved without the system lock: a name service may take its time.
    std::string address = "0.0.0.0";
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* found = nullptr;
    if (!host.empty() && getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr)
            address = text;
    }
    if (found != nullptr)
        freeaddrinfo(found);
    CSystemLock lock;
    Identity& state = State();
    if (!state.ipResolved) {
        state.ipAddress.Set(address.c_str());
        state.ipResolved = true;
    }
    return state.ipAddress.Get();
}

std::vector<std::string> ReadAdapterAddresses(const std::string& classNetDir)
{
    std::vector<std::pair<long, std::string>> found;
    DIR* dir = ::opendir(classNetDir.c_str());
    if (dir == nullptr)
        return {};
    while (struct dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string base = classNetDir + "/" + name + "/";
        // ARPHRD_LOOPBACK
        if (ReadFirstLine(base + "type") == "772")
            continue;
        std::string index = ReadFirstLine(base + "ifindex");
        std::string address = ReadFirstLine(base + "address");
        std::string hex;
        bool valid = !address.empty() && !index.empty();
        bool allZero = true;
        for (char c : address) {
            if (c == ':')
                continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                valid = false;
                break;
            }
            char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            allZero = allZero && lower == '0';
            hex += lower;
        }
        if (!valid || allZero || hex.empty() || hex.size() % 2 != 0)
            continue;
        char* end = nullptr;
        long ifindex = std::strtol(index.c_str(), &end, 10);
        if (end == index.c_str())
            continue;
        found.emplace_back(ifindex, hex);
    }
    ::closedir(dir);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> addresses;
    for (auto& item : found)
        addresses.push_back(std::move(item.second));
    return addresses;
}

int GetMacAddressCount()
{
    {
        CSystemLock lock;
        if (!State().macAddresses.empty())
            return static_cast<int>(State().macAddresses.size());
    }
    std::vector<std::string> addresses = ReadAdapterAddresses("/sys/class/net");
    CSystemLock lock;
    Identity& state = State();
    if (state.macAddresses.empty()) {
        for (std::string& address : addresses)
            state.macAddresses.push_back(std::move(address));
    }
    return static_cast<int>(state.macAddresses.size());
}

const char* GetMacAddress(int index)
{
    if (index < 0)
        throw std::out_of_range("GetMacAddress: negative adapter index");
    int count = GetMacAddressCount();
    if (index >= count)
        return kUnknown;
    CSystemLock lock;
    return State().macAddresses[static_cast<std::size_t>(index)].c_str();
}

long GetStartTimestamp()
{
    return g_startTimestamp;
}

bool InitializeSockets(int, int)
{
    return true;
}

} // namespace Brindle
