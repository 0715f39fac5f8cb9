#include "Brindle/service/Service.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/CritSec.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogStream.h"
#include "Brindle/base/RegSection.h"

#include <cstdio>
#include <thread>

namespace Brindle {

namespace {

std::mutex g_instanceLock;
CService* g_instance = nullptr;

// ASCII comparison without regard to case, whatever the process locale.
bool SameSwitch(const char* arg, const char* name)
{
    for (; *arg != '\0' && *name != '\0'; ++arg, ++name) {
        char a = *arg;
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != *name)
            return false;
    }
    return *arg == '\0' && *name == '\0';
}

// Words of a text in lines of at most `width` characters; a word longer
// than a line is cut into pieces of that width.
std::string WrapText(const std::string& text, std::size_t width)
{
    std::string out;
    std::string line;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
            ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r' && text[end] != '\n')
            ++end;
        std::string word = text.substr(i, end - i);
        i = end;
        while (!word.empty()) {
            const std::size_t need = line.empty() ? word.size() : line.size() + 1 + word.size();
            if (need <= width) {
                if (!line.empty())
                    line += ' ';
                line += word;
                word.clear();
            } else if (!line.empty()) {
                out += line + "\n";
                line.clear();
            } else {
                out += word.substr(0, width) + "\n";
                word.erase(0, width);
            }
        }
    }
    if (!line.empty())
        out += line + "\n";
    return out;
}

} // namespace

CService::CService(const char* name) : m_name(name != nullptr ? name : "")
{
    {
        std::lock_guard<std::mutex> hold(g_instanceLock);
        if (g_instance != nullptr)
            throw CException("Service already initialized", 0);
        g_instance = this;
    }
    m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    m_status.dwCurrentState = SERVICE_STOPPED;
}

CService::~CService()
{
    // A pointer left behind would let the static entry points reach a
    // destroyed object.
    std::lock_guard<std::mutex> hold(g_instanceLock);
    if (g_instance == this)
        g_instance = nullptr;
}

CService* CService::GetInstance()
{
    std::lock_guard<std::mutex> hold(g_instanceLock);
    return g_instance;
}

const char* CService::ResultPrefix(int result)
{
    switch (result) {
    case RESULT_SUCCESS:
        return "";
    case RESULT_NO_MANAGER:
        return "Cannot open service control manager: ";
    case RESULT_CANNOT_CREATE:
        return "Cannot create the service: ";
    case RESULT_CANNOT_OPEN:
        return "Cannot open the service: ";
    case RESULT_CANNOT_DELETE:
        return "Cannot delete the service: ";
    case RESULT_CANNOT_START:
        return "Cannot start the service: ";
    case RESULT_SERVICE_FAILED:
        return "The service failed: ";
    default:
        return "";
    }
}

std::string CService::UsageText()
{
    const std::string app = GetLocalApplicationName();
    std::string text = "\n" + app + " version " + GetLocalVersion() + " Build Date: " + GetLocalBuildDate() + "\n";
    const std::string description = GetAppDescription();
    if (!description.empty())
        text += "\n" + WrapText(description, 70);
    text += "\nUsage:       " + app + " [-install | -uninstall | -run ]\n";
    text += "\n-install:    Install the service";
    text += "\n-uninstall:  Uninstall the  service";
    text += "\n-run:        Debug (start as process)\n";
    text += "\n";
    return text;
}

int CService::Main(int argc, char** argv)
{
    m_args.clear();
    for (int i = 1; i < argc && argv != nullptr; ++i)
        m_args.emplace_back(argv[i] != nullptr ? argv[i] : "");

    int result = -1;
    for (const std::string& arg : m_args) {
        if (SameSwitch(arg.c_str(), "-?")) {
            const std::string usage = UsageText();
            std::fwrite(usage.data(), 1, usage.size(), stdout);
            std::fflush(stdout);
            return 0;
        }
        if (SameSwitch(arg.c_str(), "-install")) {
            result = Install(GetAppDescription());
            break;
        }
        if (SameSwitch(arg.c_str(), "-uninstall")) {
            result = UnInstall();
            break;
        }
        if (SameSwitch(arg.c_str(), "-run")) {
            m_runAsProcess = true;
            result = RunService();
            break;
        }
    }
    if (result < 0)
        result = Start();

    if (result == RESULT_SERVICE_FAILED) {
        std::printf("%s%s\n", ResultPrefix(result), m_failure.c_str());
    } else if (result != RESULT_SUCCESS) {
        char text[512];
        GetLastErrorMsg(text, sizeof text);
        std::printf("%s%s\n", ResultPrefix(result), text);
    }
    std::fflush(stdout);
    return result;
}

void CService::OpenEvents()
{
    const DWORD error = ::GetLastError();
    std::lock_guard<std::mutex> hold(m_eventLock);
    if (!m_eventLog) {
        CEventLog::AddSource(m_name.c_str());
        try {
            m_eventLog = std::make_unique<CEventLog>(m_name.c_str());
        } catch (const std::exception&) {
            // No event log: the service runs without its events.
        }
    }
    ::SetLastError(error);
}

void CService::WriteEvent(WORD type, DWORD id, const char* text1, const char* text2, const char* text3)
{
    // The event log must not change the error a result is printed with.
    const DWORD error = ::GetLastError();
    {
        std::lock_guard<std::mutex> hold(m_eventLock);
        if (m_eventLog)
            m_eventLog->Log(type, 0, id, text1, text2, text3);
    }
    ::SetLastError(error);
}

void CService::LogException(const char* text)
{
    {
        // Held across, so that the record goes out whole.
        CSystemLock lock;
        lstr.GetLogData().SetSeverity(SEVERITY_ERROR);
        lstr << text;
        lstr.Log();
    }
    WriteEvent(EVENTLOG_ERROR_TYPE, MSG_SERVICE_EXCEPTION, m_name.c_str(), text);
}

int CService::Install(const char* description)
{
    if (!CanWriteServiceUnits())
        return RESULT_NO_MANAGER;
    if (!CreateServiceUnit(m_name.c_str(), description))
        return RESULT_CANNOT_CREATE;
    ReloadServiceManager();
    OpenEvents();
    WriteEvent(EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_INSTALLED, m_name.c_str());
    if (description != nullptr && *description != '\0') {
        CRegSection services(HKEY_LOCAL_MACHINE, "/SYSTEM/CurrentControlSet/Services");
        CRegSection service(services, m_name.c_str());
        service.SetStr("Description", description);
    }
    ::SetLastError(ERROR_SUCCESS);
    return RESULT_SUCCESS;
}

int CService::UnInstall()
{
    if (!CanWriteServiceUnits())
        return RESULT_NO_MANAGER;
    if (!ServiceUnitExists(m_name.c_str()))
        return RESULT_CANNOT_OPEN;
    // Asked to stop, not waited for; a service that does not run is no
    // obstacle to its removal.
    SendServiceControl(m_name.c_str(), SERVICE_CONTROL_STOP);
    if (!DeleteServiceUnit(m_name.c_str()))
        return RESULT_CANNOT_DELETE;
    ReloadServiceManager();
    OpenEvents();
    WriteEvent(EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_UNINSTALLED, m_name.c_str());
    ::SetLastError(ERROR_SUCCESS);
    return RESULT_SUCCESS;
}

int CService::Start()
{
    if (!IsValidServiceName(m_name.c_str())) {
        ::SetLastError(ERROR_INVALID_NAME);
        return RESULT_CANNOT_START;
    }
    if (!StartedByServiceManager()) {
        ::SetLastError(ENOTCONN);
        return RESULT_CANNOT_START;
    }
    OpenEvents();
    return RunWithControls(true);
}

int CService::RunService()
{
    m_runAsProcess = true;
    if (!IsValidServiceName(m_name.c_str())) {
        ::SetLastError(ERROR_INVALID_NAME);
        return RESULT_CANNOT_START;
    }
    OpenEvents();
    return RunWithControls(false);
}

int CService::SendUserCommand(unsigned long code)
{
    if (!SendServiceControl(m_name.c_str(), static_cast<DWORD>(code)))
        return RESULT_CANNOT_OPEN;
    return RESULT_SUCCESS;
}

void CService::Log(unsigned short type, const char* description, const char* data1, const char* data2)
{
    OpenEvents();
    WriteEvent(type, MSG_DESCRIPTION_DATA, description != nullptr ? description : "", data1 != nullptr ? data1 : "",
               data2 != nullptr ? data2 : "");
}

DWORD CService::GetCurrentState() const
{
    std::lock_guard<std::mutex> hold(m_statusLock);
    return m_status.dwCurrentState;
}

int CService::ReportStatus()
{
    if (!m_statusHandle)
        return FALSE;
    const DWORD error = ::GetLastError();
    const BOOL reported = NotifyServiceManager(ServiceStatusMessage(m_status));
    ::SetLastError(error);
    return reported;
}

int CService::SetServiceStatus(unsigned long state, unsigned long exitCode, unsigned long checkPoint)
{
    // Changed and reported under one lock, so the manager hears the states
    // in the order the record took them.
    std::lock_guard<std::mutex> hold(m_statusLock);
    m_status.dwCurrentState = static_cast<DWORD>(state);
    m_status.dwWin32ExitCode = static_cast<DWORD>(exitCode);
    m_status.dwCheckPoint = static_cast<DWORD>(checkPoint);
    return ReportStatus();
}

void CService::Failed(const char* text)
{
    m_failed = true;
    m_failure = text;
    LogException(text);
}

int CService::ThreadInit()
{
    int ready = 0;
    try {
        ready = ServiceInit();
    } catch (const std::exception& e) {
        Failed(e.what());
        return 0;
    } catch (...) {
        Failed("Unhandled exception");
        return 0;
    }
    if (ready == 0) {
        m_failed = true;
        m_failure = "the service's initialisation refused to start";
        return 0;
    }
    {
        std::lock_guard<std::mutex> hold(m_statusLock);
        // A stop that came while the service started is kept: no running
        // state, and the loop ends before any work.
        if (m_status.dwCurrentState != SERVICE_START_PENDING)
            return 1;
        m_status.dwCurrentState = SERVICE_RUNNING;
        m_status.dwWin32ExitCode = 0;
        m_status.dwCheckPoint = 0;
        ReportStatus();
    }
    WriteEvent(EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_STARTED, m_name.c_str());
    return 1;
}

int CService::ThreadExecuteFcn()
{
    if (GetCurrentState() == SERVICE_RUNNING) {
        try {
            if (ServiceFcn() != 0)
                return 1;
        } catch (const std::exception& e) {
            Failed(e.what());
        } catch (...) {
            Failed("Unhandled exception");
        }
    }
    SetServiceStatus(SERVICE_STOP_PENDING, 0, 2);
    return 0;
}

void CService::ThreadExit(bool success)
{
    if (!success)
        Failed("Unhandled exception");
    try {
        ServiceStop();
    } catch (const std::exception& e) {
        Failed(e.what());
    } catch (...) {
        Failed("Unhandled exception");
    }
}

void CService::Control(DWORD code)
{
    switch (code) {
    case SERVICE_CONTROL_STOP: {
        {
            std::lock_guard<std::mutex> hold(m_statusLock);
            const DWORD state = m_status.dwCurrentState;
            if (state != SERVICE_START_PENDING && state != SERVICE_RUNNING)
                return; // stopping already
            m_status.dwCurrentState = SERVICE_STOP_PENDING;
            m_status.dwWin32ExitCode = 0;
            m_status.dwCheckPoint = 1;
            ReportStatus();
            // Raised with the state, so that whoever sees stop-pending also
            // finds the loop asked to end.
            CThreadProcess::RequestShutdown();
        }
        // The program's own wake-up, outside the lock.
        RequestShutdown();
        return;
    }
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_SHUTDOWN:
        return;
    case SERVICE_CONTROL_INTERROGATE: {
        std::lock_guard<std::mutex> hold(m_statusLock);
        m_status.dwWin32ExitCode = 0;
        m_status.dwCheckPoint = 0;
        ReportStatus();
        return;
    }
    default:
        try {
            OnUserCommand(code);
        } catch (const std::exception& e) {
            LogException(e.what());
        } catch (...) {
            LogException("Unhandled exception");
        }
        return;
    }
}

int CService::RunWithControls(bool underManager)
{
    // Made before the control thread, which inherits the blocked signals.
    CServiceSignals signals;
    if (!signals.IsValid()) {
        ::SetLastError(static_cast<DWORD>(errno));
        return RESULT_CANNOT_START;
    }
    const int pidFile = LockServicePidFile(m_name.c_str());
    if (pidFile < 0) {
        if (::GetLastError() == EALREADY)
            return RESULT_CANNOT_START; // another instance runs
        // Without a PID file the service runs, but user commands cannot
        // find it.
        CLog::Log(CLogData(SEVERITY_WARNING, m_name,
                           CVar("no PID file " + ServicePidFilePath(m_name.c_str()) + ": " +
                                CException::FormatLastError(::GetLastError()))));
    }

    m_failed = false;
    m_failure.clear();
    {
        std::lock_guard<std::mutex> hold(m_statusLock);
        m_status = SERVICE_STATUS{};
        m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        m_status.dwCurrentState = SERVICE_STOPPED;
        m_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
        m_statusHandle = underManager;
    }
    SetServiceStatus(SERVICE_START_PENDING, 0, 0);
    if (underManager) {
        for (const std::string& arg : m_args) {
            if (SameSwitch(arg.c_str(), "-debug"))
                DebugBreak();
        }
    }

    std::thread controls([this, &signals] {
        DWORD code = 0;
        while (signals.WaitControl(code))
            Control(code);
    });
    Run();
    signals.Wake();
    controls.join();

    SetServiceStatus(SERVICE_STOP_PENDING, 0, 10);
    SetServiceStatus(SERVICE_STOPPED, m_failed ? ECANCELED : 0, 0);
    WriteEvent(EVENTLOG_WARNING_TYPE, MSG_SERVICE_STOPPED, m_name.c_str());
    {
        std::lock_guard<std::mutex> hold(m_statusLock);
        m_statusHandle = false;
    }
    ReleaseServicePidFile(m_name.c_str(), pidFile);
    if (m_failed) {
        ::SetLastError(ECANCELED);
        return RESULT_SERVICE_FAILED;
    }
    ::SetLastError(ERROR_SUCCESS);
    return RESULT_SUCCESS;
}

} // namespace Brindle
