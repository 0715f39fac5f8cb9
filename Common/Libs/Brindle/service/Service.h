// CService: a program run as a system service. The program derives from
// CService, makes one instance with the service's name and hands its command
// line to Main; the frame installs and removes the service's unit, runs the
// work loop of CThreadProcess under the service manager or as an ordinary
// process, reports each state change to the manager's notify socket and the
// event log, and turns controls into calls of the program's operations.
//
// Contract
// - One instance per process: constructing a second while one lives throws
//   CException "Service already initialized". The destructor lets go of the
//   process-wide pointer, so a later instance may be made.
// - Main examines the arguments after the program name in order, without
//   regard to case; the first of "-?", "-install", "-uninstall", "-run"
//   decides; without one the service is started under the manager. Every
//   result other than 0 is printed on standard output as its prefix
//   (ResultPrefix) and the text of the last system error.
// - Results: 0 success; 1 the unit directory cannot be written; 2 the unit
//   cannot be created (it exists already, or the name is not a service
//   name: letters, digits, '-', '_', '.', '@'); 3 the service cannot be
//   found (no unit, or for a user command no running instance); 4 the unit
//   cannot be deleted; 5 the service cannot be started (not started by the
//   manager, or another instance of it runs); 6 the service ran but failed
//   (ServiceInit refused or threw, or ServiceFcn threw), so the manager
//   sees a failed exit.
// - Running: SIGTERM (the manager's stop) and SIGINT (a console's) are the
//   stop control; a user command is a queued signal carrying its code
//   (SendUserCommand finds the running instance by its PID file, which a
//   running instance holds locked). The running state (READY=1) is reported
//   only once ServiceInit has succeeded; a stop that comes earlier, even
//   before the loop runs, is kept and ends the service before any work.
//   The controls are blocked in the thread that runs the service and in
//   every thread it starts; a thread the program started before the run
//   does not have them blocked, and a SIGTERM it takes ends the process.
// - Events (syslog through CEventLog, source = the service name): installed,
//   uninstalled, started, stopped, exceptions, Log's descriptions; each is
//   written once its outcome is known.
//
// Thread-safety: Main, Install, UnInstall, Start, RunService and
// SendUserCommand are called from one thread. While the service runs,
// OnUserCommand and RequestShutdown are called on the frame's control
// thread, the work (ServiceInit, ServiceFcn, ServiceStop) on the thread that
// called Main; the status record is guarded by a lock. Log and
// SetServiceStatus may be called from any thread.
#pragma once

#include "Brindle/base/EventLog.h"
#include "Brindle/base/Runnable.h"
#include "Platform/ServiceControl.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Brindle {

class CService : public CThreadProcess {
public:
    enum RESULT : int {
        RESULT_SUCCESS = 0,
        RESULT_NO_MANAGER = 1,
        RESULT_CANNOT_CREATE = 2,
        RESULT_CANNOT_OPEN = 3,
        RESULT_CANNOT_DELETE = 4,
        RESULT_CANNOT_START = 5,
        RESULT_SERVICE_FAILED = 6,
    };

    explicit CService(const char* name);
    ~CService() override;
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    int Main(int argc, char** argv);
    int Install(const char* description);
    int UnInstall();
    // Runs the service in this process as an ordinary program; 0 when the
    // loop has ended, 5 when another instance runs, 6 when the work failed.
    int RunService();
    // Runs the service under the service manager; 5 when the process was
    // not started by it.
    int Start();
    int SendUserCommand(unsigned long code);
    // Writes the description event with a description and two data texts.
    void Log(unsigned short type, const char* description, const char* data1, const char* data2);

    const std::string& GetName() const { return m_name; }
    // The state of the status record.
    DWORD GetCurrentState() const;
    bool IsRunAsProcess() const { return m_runAsProcess; }

    // The text Main prints for "-?".
    static std::string UsageText();
    // The text Main prints before the system's error text; empty for 0.
    static const char* ResultPrefix(int result);
    // The instance of this process, or null.
    static CService* GetInstance();

protected:
    int ThreadInit() override;
    int ThreadExecuteFcn() override;
    void ThreadExit(bool success) override;

    // Non-zero lets the work loop start.
    virtual int ServiceInit() { return 1; }
    // One unit of work; non-zero asks to be called again.
    virtual int ServiceFcn() = 0;
    virtual void ServiceStop() {}
    virtual void OnUserCommand(unsigned long /*code*/) {}

    // Sets state, exit code and check point and reports them; the report's
    // result (FALSE without a registered status handle).
    int SetServiceStatus(unsigned long state, unsigned long exitCode, unsigned long checkPoint);

private:
    // The control handler: stop, interrogate, user commands.
    void Control(DWORD code);
    // Runs the work loop with the controls served on a thread of their own;
    // the result of the run (0, 5 or 6).
    int RunWithControls(bool underManager);
    int ReportStatus();
    // The failure of the work, as the exception event and the log stream.
    void Failed(const char* text);
    // An exception's text in the exception event and the library log.
    void LogException(const char* text);
    // Registers the event source and opens the event log on it, once.
    void OpenEvents();
    void WriteEvent(WORD type, DWORD id, const char* text1, const char* text2 = nullptr,
                    const char* text3 = nullptr);

    std::string m_name;
    // Set while the status goes to the service manager.
    bool m_statusHandle = false;
    mutable std::mutex m_statusLock;
    SERVICE_STATUS m_status;
    std::mutex m_eventLock;
    std::unique_ptr<CEventLog> m_eventLog; // guarded by m_eventLock
    bool m_runAsProcess = false;
    // The arguments Main was given (the service's arguments).
    std::vector<std::string> m_args;
    // Set when ServiceInit refused or an exception ended the work.
    bool m_failed = false;
    std::string m_failure;
};

} // namespace Brindle
