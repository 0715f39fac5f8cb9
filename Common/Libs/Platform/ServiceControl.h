// The service control manager of a Windows service, on systemd: the status
// record and its values, unit files for install and removal, status reports
// through the notify socket, the PID file a running service keeps, and the
// controls that reach it as signals.
//
// Contract
// - Service names are 1 to 200 letters, digits and '-', '_', '.', '@'; no
//   other name gets a unit file, a PID file or a control.
// - Unit files go to $BRINDLE_UNIT_DIR, else /etc/systemd/system, as
//   <name>.service: Type=notify, the executable's absolute path quoted (and
//   '%' doubled) in ExecStart, the description on one line (control characters
//   become spaces, '%' is written "%%", a trailing backslash is dropped), so
//   nothing given can add a line or a specifier of its own.
//   ReloadServiceManager runs "systemctl daemon-reload" only when systemd
//   runs and the units are its own directory; its failure is no error.
// - Status reports go to $NOTIFY_SOCKET (a path, or '@' for an abstract
//   name) as one datagram; without the variable they fail with ENOTCONN.
// - The PID file is $BRINDLE_RUN_DIR/<name>.pid, else /run/brindle/<name>.pid,
//   held under an exclusive lock while the service runs: a second instance
//   finds it locked (EALREADY), and a PID left behind by a dead service is
//   never used, as nobody holds its lock.
// - Controls: SIGTERM (and SIGINT) is the stop control of the service
//   manager and the console; SendServiceControl sends every code, the stop
//   too, as a queued SIGRTMIN carrying the code, so codes arrive one by one
//   in the order they were sent. After a CServiceSignals has gone,
//   SIGRTMIN stays blocked: a late control is dropped, never fatal.
// - Failures return FALSE (or -1) with the error in GetLastError (errno
//   values); nothing here throws.
//
// Thread-safety: every function may run on any thread. CServiceSignals must
// be made before the threads that should not see the signals are started
// (they inherit the blocked mask); Wake may be called from any thread.
#pragma once

#include "Platform/WinError.h"
#include "Platform/WinTypes.h"

#include <signal.h>

#include <string>

inline constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr DWORD SERVICE_DEMAND_START = 3;
inline constexpr DWORD SERVICE_ERROR_NORMAL = 1;

inline constexpr DWORD SERVICE_STOPPED = 1;
inline constexpr DWORD SERVICE_START_PENDING = 2;
inline constexpr DWORD SERVICE_STOP_PENDING = 3;
inline constexpr DWORD SERVICE_RUNNING = 4;
inline constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
inline constexpr DWORD SERVICE_PAUSE_PENDING = 6;
inline constexpr DWORD SERVICE_PAUSED = 7;

inline constexpr DWORD SERVICE_ACCEPT_STOP = 1;

inline constexpr DWORD SERVICE_CONTROL_STOP = 1;
inline constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
inline constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
inline constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;

struct SERVICE_STATUS {
    DWORD dwServiceType = 0;
    DWORD dwCurrentState = 0;
    DWORD dwControlsAccepted = 0;
    DWORD dwWin32ExitCode = 0;
    DWORD dwServiceSpecificExitCode = 0;
    DWORD dwCheckPoint = 0;
    DWORD dwWaitHint = 0;
};

bool IsValidServiceName(const char* name);

// --- unit files -----------------------------------------------------------
std::string ServiceUnitDirectory();
std::string ServiceUnitPath(const char* name);
// The unit file's text; empty (ERROR_INVALID_NAME) for an invalid name or an
// executable path that is not absolute or holds control characters, quotes
// or backslashes (which the manager refuses in an executable's name).
std::string ServiceUnitText(const char* name, const char* description, const std::string& executable);
// The running program's absolute path; empty when it cannot be read.
std::string ServiceExecutablePath();
// TRUE when unit files can be created in the unit directory.
BOOL CanWriteServiceUnits();
BOOL ServiceUnitExists(const char* name);
// Writes the unit for the running program; FALSE with ERROR_FILE_EXISTS when
// it exists already. The file appears whole or not at all.
BOOL CreateServiceUnit(const char* name, const char* description);
BOOL DeleteServiceUnit(const char* name);
void ReloadServiceManager();

// --- status reports -------------------------------------------------------
// true when the process was started by the service manager.
bool StartedByServiceManager();
// Sends one notify message ("READY=1\nSTATUS=Running" ...).
BOOL NotifyServiceManager(const std::string& message);
// The notify message for a status record.
std::string ServiceStatusMessage(const SERVICE_STATUS& status);

// --- the running service --------------------------------------------------
std::string ServicePidFilePath(const char* name);
// Takes the service's PID file and writes this process's id into it; the
// descriptor to keep, or -1 (EALREADY when another instance holds it).
int LockServicePidFile(const char* name);
// Removes the PID file and lets go of it.
void ReleaseServicePidFile(const char* name, int fd);
// The process that holds the service's PID file, or 0 (ESRCH when none).
long FindRunningService(const char* name);
// Sends a control code to the running service (a queued SIGRTMIN).
BOOL SendServiceControl(const char* name, DWORD code);

// Receives the controls of SendServiceControl (and SIGINT/SIGTERM from a
// console) for the process.
class CServiceSignals {
public:
    CServiceSignals();
    ~CServiceSignals();
    CServiceSignals(const CServiceSignals&) = delete;
    CServiceSignals& operator=(const CServiceSignals&) = delete;

    bool IsValid() const { return m_signalFd >= 0 && m_wakeFd >= 0; }
    // Waits for the next control: true with its code, false once woken (and
    // from then on).
    bool WaitControl(DWORD& code);
    void Wake();

private:
    int m_signalFd = -1;
    int m_wakeFd = -1;
    sigset_t m_previousMask;
};

// --- debugging ------------------------------------------------------------
BOOL IsDebuggerPresent();
// Stops in the debugger when one is attached; does nothing otherwise.
void DebugBreak();
