// Serial communication devices: the Windows comm records (DCB, COMMTIMEOUTS,
// COMSTAT) and the comm calls the serial port uses, over a Linux tty.
//
// Contract
// - Port names: "COMn" (any case, n >= 1, also "\\.\COMn") is /dev/ttyS(n-1);
//   a name beginning with '/' is the device path as it stands; any other
//   name fails with ERROR_FILE_NOT_FOUND.
// - CreateCommFile opens the device exclusively (flock): a second open of
//   the same device, from this or another process, fails with
//   ERROR_ACCESS_DENIED as a shared COM port does. The device is put into
//   raw binary mode (no echo, no line editing, no character translation) and
//   otherwise keeps its line settings until SetCommState changes them.
//   Names that are not a terminal device fail with ENOTTY.
// - A comm HANDLE is an id of its own (never a reused file descriptor and
//   never equal to a kernel object's handle); CloseCommFile ends it. A read
//   or write in progress on another thread when the handle is closed ends at
//   once and fails with ERROR_OPERATION_ABORTED.
// - SetCommState maps the DCB to termios: BaudRate (rates the kernel names
//   directly, otherwise the arbitrary-rate interface BOTHER/TCSETS2),
//   ByteSize 5-8, Parity (none, odd, even, mark, space), StopBits, RTS/CTS
//   flow control (fOutxCtsFlow or RTS_CONTROL_HANDSHAKE -> CRTSCTS), XON/XOFF
//   (fOutX -> IXON, fInX -> IXOFF, XonChar/XoffChar), parity checking
//   (fParity with fErrorChar -> INPCK: bad bytes read as NUL), and the DTR
//   and RTS lines (enable/handshake raise them, disable drops them; devices
//   without modem lines, such as pseudo-terminals, ignore this). DTR/DSR flow
//   control does not exist on Linux: DTR_CONTROL_HANDSHAKE raises DTR only.
//   Fields termios cannot hold (XonLim, XoffLim, fNull, EofChar ...) are kept
//   and given back by GetCommState. Invalid DCBs fail with
//   ERROR_INVALID_PARAMETER and change nothing.
// - Time-outs follow COMMTIMEOUTS: with an interval of MAXDWORD (and a
//   constant that is not MAXDWORD) a read returns as soon as bytes are there:
//   at once with what is queued, otherwise with the first bytes to arrive
//   within the total time-out (multiplier MAXDWORD: the constant alone;
//   multiplier and constant 0: no wait). Otherwise total = multiplier *
//   bytes + constant (0: no limit), and the interval (0: none) bounds the
//   gap between two bytes once one has come. A time-out is not an error: the
//   call succeeds with fewer bytes (possibly 0).
//   Writes end after WriteTotalTimeoutMultiplier * bytes +
//   WriteTotalTimeoutConstant (0: no limit) with what was written.
// - A device that has gone (hang-up, I/O error) makes reads and writes fail
//   (ERROR_CANTREAD/EIO, or the system's code); they never report success
//   with nothing read because the line is dead.
// - SetupComm keeps the queue sizes as recommendations, as the kernel's tty
//   queues have fixed sizes.
// - ClearCommError gives the queued byte counts and, on devices that count
//   line errors (TIOCGICOUNT), the framing, parity, overrun and break errors
//   seen since the last call; devices that do not (pseudo-terminals) report
//   none.
// - Overlapped handles (FILE_FLAG_OVERLAPPED): reads and writes complete
//   before the call returns; the OVERLAPPED record gets the result and its
//   event is set, as for an operation that completed at once, and
//   GetCommOverlappedResult gives the count.
// - Failures return INVALID_HANDLE_VALUE or FALSE and set the thread's last
//   error.
//
// Thread-safety: every call may run from any thread. Reads and writes on one
// handle may run at the same time from two threads; two reads (or two
// writes) at once on one handle interleave their bytes.
#pragma once

#include "Platform/WinTypes.h"

#include <string>

inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// Line speeds by name.
inline constexpr DWORD CBR_110 = 110;
inline constexpr DWORD CBR_300 = 300;
inline constexpr DWORD CBR_600 = 600;
inline constexpr DWORD CBR_1200 = 1200;
inline constexpr DWORD CBR_2400 = 2400;
inline constexpr DWORD CBR_4800 = 4800;
inline constexpr DWORD CBR_9600 = 9600;
inline constexpr DWORD CBR_14400 = 14400;
inline constexpr DWORD CBR_19200 = 19200;
inline constexpr DWORD CBR_38400 = 38400;
inline constexpr DWORD CBR_56000 = 56000;
inline constexpr DWORD CBR_57600 = 57600;
inline constexpr DWORD CBR_115200 = 115200;
inline constexpr DWORD CBR_128000 = 128000;
inline constexpr DWORD CBR_256000 = 256000;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;

inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// ClearCommError's error bits.
inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;

struct DCB {
    DWORD DCBlength = sizeof(DCB);
    DWORD BaudRate = 0;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved = 0;
    WORD XonLim = 0;
    WORD XoffLim = 0;
    BYTE ByteSize = 0;
    BYTE Parity = 0;
    BYTE StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    WORD wReserved1 = 0;

    DCB()
        : fBinary(0), fParity(0), fOutxCtsFlow(0), fOutxDsrFlow(0), fDtrControl(0), fDsrSensitivity(0),
          fTXContinueOnXoff(0), fOutX(0), fInX(0), fErrorChar(0), fNull(0), fRtsControl(0), fAbortOnError(0),
          fDummy2(0)
    {
    }
};
using LPDCB = DCB*;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;

    COMSTAT() : fCtsHold(0), fDsrHold(0), fRlsdHold(0), fXoffHold(0), fXoffSent(0), fEof(0), fTxim(0), fReserved(0) {}
};
using LPCOMSTAT = COMSTAT*;

// The device path of a port name; empty when the name names no device.
std::string CommDevicePath(LPCSTR portName);

// Opens a serial device (see the contract). desiredAccess: GENERIC_READ
// and/or GENERIC_WRITE; flags: FILE_ATTRIBUTE_NORMAL or FILE_FLAG_OVERLAPPED.
HANDLE CreateCommFile(LPCSTR portName, DWORD desiredAccess, DWORD flagsAndAttributes);
BOOL CloseCommFile(HANDLE comm);
// True when `comm` is an open comm handle.
bool IsCommHandle(HANDLE comm);

BOOL SetupComm(HANDLE comm, DWORD inQueue, DWORD outQueue);
BOOL GetCommState(HANDLE comm, LPDCB dcb);
BOOL SetCommState(HANDLE comm, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE comm, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE comm, LPCOMMTIMEOUTS timeouts);
BOOL ClearCommError(HANDLE comm, LPDWORD errors, LPCOMSTAT stat);

// ReadFile and WriteFile of a comm handle.
BOOL ReadCommFile(HANDLE comm, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteCommFile(HANDLE comm, LPCVOID data, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
// The count of a completed overlapped operation; FALSE with its error when
// it failed.
BOOL GetCommOverlappedResult(HANDLE comm, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
