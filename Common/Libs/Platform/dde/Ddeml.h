// Dynamic Data Exchange between local programs: the DDE management calls
// (instances, service names, string handles, conversations, transactions,
// advise loops, data handles) over Unix-domain sockets.
//
// Contract
// - An instance (DdeInitialize) belongs to the thread that made it: its
//   call-back runs on that thread only, from DdeProcessPending, from
//   DdePostAdvise (XTYP_ADVREQ) and while that thread waits in a synchronous
//   DdeConnect or DdeClientTransaction (which dispatch the pending call-backs
//   of every instance the thread owns, as a modal loop would, except those of
//   an instance whose call-back is running). DdeGetEventFd gives a
//   descriptor that is readable while call-backs wait, for the owner's event
//   loop; it must not be read or closed by the caller.
// - Service names are registered as sockets in a directory of the user's
//   own: $XDG_RUNTIME_DIR/brindle-dde, else /tmp/brindle-dde-<uid>. The
//   directory is made 0700 and refused when another user owns it or others
//   may enter it; sockets are 0600. So only the same local user reaches a
//   server. Names match without regard to ASCII case.
// - One socket carries one conversation. The server answers CONNECT with its
//   call-back (XTYP_CONNECT, then XTYP_CONNECT_CONFIRM); a connect with no
//   topic or no service asks XTYP_WILDCONNECT and takes its first pair.
//   Transactions: XTYP_REQUEST, XTYP_ADVSTART, XTYP_ADVSTOP, XTYP_POKE,
//   XTYP_EXECUTE, synchronous (a time-out in milliseconds) or TIMEOUT_ASYNC
//   (the result comes as XTYP_XACT_COMPLETE). Advise data reaches clients as
//   XTYP_ADVDATA. XTYP_DISCONNECT tells the partner that a conversation
//   ended. XTYP_REGISTER / XTYP_UNREGISTER tell every instance of the
//   process that a service of another instance came or went (hsz1 the base
//   name, hsz2 the instance's own name "NAME(pid.n)"). XTYP_ERROR carries a
//   DMLERR_ code in the low word of dwData1. Instances made with
//   APPCLASS_MONITOR hear XTYP_MONITOR for the activity of the other
//   instances of this process that their MF_ flags select.
// - A server is never held up by a client: data for a client is queued
//   without waiting, per conversation, up to the instance's queue limit
//   (DdeSetQueueLimit, default DEFAULT_QUEUE_LIMIT bytes). A client that
//   falls further behind, or breaks the wire rules, is disconnected: the
//   server's call-back hears XTYP_ERROR (DMLERR_LOW_MEMORY for falling
//   behind, DMLERR_POSTMSG_FAILED for a broken frame) and XTYP_DISCONNECT.
// - String handles are shared by the process and counted per instance:
//   DdeCreateStringHandle of an equal text (any case) gives the same handle
//   and one more reference; DdeUninitialize drops the instance's remaining
//   references. Texts are 1..255 bytes without NUL.
// - Data handles: a handle returned from a call-back passes to the layer,
//   which frees it once sent, unless made with HDATA_APPOWNED. Handles handed
//   to a call-back are valid during that call only. A handle returned by a
//   synchronous DdeClientTransaction belongs to the caller, who frees it.
//   Handles are ids that are never reused: a stale one fails cleanly. One
//   data handle is used by one thread at a time.
// - Failures return 0/FALSE and set the instance's last error
//   (DdeGetLastError, which also clears it).
//
// Thread-safety: every call may be made from any thread, except that the
// calls that run call-backs (DdePostAdvise, DdeProcessPending, DdeConnect,
// synchronous DdeClientTransaction) fail with DMLERR_DLL_USAGE away from
// the instance's owner thread.
#pragma once

#include "Platform/WinTypes.h"

struct HSZ__;
struct HCONV__;
struct HDDEDATA__;
using HSZ = HSZ__*;
using HCONV = HCONV__*;
using HDDEDATA = HDDEDATA__*;

using PFNCALLBACK = HDDEDATA (*)(UINT uType, UINT uFmt, HCONV hconv, HSZ hsz1, HSZ hsz2, HDDEDATA hdata,
                                 ULONG_PTR dwData1, ULONG_PTR dwData2);

// Transaction classes, flags and types.
inline constexpr UINT XCLASS_BOOL = 0x1000;
inline constexpr UINT XCLASS_DATA = 0x2000;
inline constexpr UINT XCLASS_FLAGS = 0x4000;
inline constexpr UINT XCLASS_NOTIFICATION = 0x8000;
inline constexpr UINT XTYPF_NOBLOCK = 0x0002;
inline constexpr UINT XTYPF_NODATA = 0x0004;
inline constexpr UINT XTYPF_ACKREQ = 0x0008;
inline constexpr UINT XTYP_MASK = 0x00F0;
inline constexpr UINT XTYP_SHIFT = 4;

inline constexpr UINT XTYP_ERROR = 0x0000 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_ADVDATA = 0x0010 | XCLASS_FLAGS;
inline constexpr UINT XTYP_ADVREQ = 0x0020 | XCLASS_DATA | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_ADVSTART = 0x0030 | XCLASS_BOOL;
inline constexpr UINT XTYP_ADVSTOP = 0x0040 | XCLASS_NOTIFICATION;
inline constexpr UINT XTYP_EXECUTE = 0x0050 | XCLASS_FLAGS;
inline constexpr UINT XTYP_CONNECT = 0x0060 | XCLASS_BOOL | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_CONNECT_CONFIRM = 0x0070 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_XACT_COMPLETE = 0x0080 | XCLASS_NOTIFICATION;
inline constexpr UINT XTYP_POKE = 0x0090 | XCLASS_FLAGS;
inline constexpr UINT XTYP_REGISTER = 0x00A0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_REQUEST = 0x00B0 | XCLASS_DATA;
inline constexpr UINT XTYP_DISCONNECT = 0x00C0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_UNREGISTER = 0x00D0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_WILDCONNECT = 0x00E0 | XCLASS_DATA | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_MONITOR = 0x00F0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;

// Status flags of XCLASS_FLAGS answers and transaction results.
inline constexpr UINT DDE_FACK = 0x8000;
inline constexpr UINT DDE_FBUSY = 0x4000;
inline constexpr UINT DDE_FNOTPROCESSED = 0x0000;

// Initialisation flags.
inline constexpr DWORD APPCLASS_STANDARD = 0x00000000;
inline constexpr DWORD APPCLASS_MONITOR = 0x00000001;
inline constexpr DWORD APPCLASS_MASK = 0x0000000F;
inline constexpr DWORD APPCMD_CLIENTONLY = 0x00000010;
inline constexpr DWORD APPCMD_FILTERINITS = 0x00000020;
inline constexpr DWORD APPCMD_MASK = 0x00000FF0;
inline constexpr DWORD CBF_FAIL_SELFCONNECTIONS = 0x00001000;
inline constexpr DWORD CBF_FAIL_CONNECTIONS = 0x00002000;
inline constexpr DWORD CBF_FAIL_ADVISES = 0x00004000;
inline constexpr DWORD CBF_FAIL_EXECUTES = 0x00008000;
inline constexpr DWORD CBF_FAIL_POKES = 0x00010000;
inline constexpr DWORD CBF_FAIL_REQUESTS = 0x00020000;
inline constexpr DWORD CBF_FAIL_ALLSVRXACTIONS = 0x0003F000;
inline constexpr DWORD CBF_SKIP_CONNECT_CONFIRMS = 0x00040000;
inline constexpr DWORD CBF_SKIP_REGISTRATIONS = 0x00080000;
inline constexpr DWORD CBF_SKIP_UNREGISTRATIONS = 0x00100000;
inline constexpr DWORD CBF_SKIP_DISCONNECTS = 0x00200000;
inline constexpr DWORD CBF_SKIP_ALLNOTIFICATIONS = 0x003C0000;
inline constexpr DWORD MF_HSZ_INFO = 0x01000000;
inline constexpr DWORD MF_SENDMSGS = 0x02000000;
inline constexpr DWORD MF_POSTMSGS = 0x04000000;
inline constexpr DWORD MF_CALLBACKS = 0x08000000;
inline constexpr DWORD MF_ERRORS = 0x10000000;
inline constexpr DWORD MF_LINKS = 0x20000000;
inline constexpr DWORD MF_CONV = 0x40000000;
inline constexpr DWORD MF_MASK = 0xFF000000;

// DdeNameService commands.
inline constexpr UINT DNS_REGISTER = 0x0001;
inline constexpr UINT DNS_UNREGISTER = 0x0002;
inline constexpr UINT DNS_FILTERON = 0x0004;
inline constexpr UINT DNS_FILTEROFF = 0x0008;

// Code pages, formats, time-outs, data handle flags.
inline constexpr int CP_WINANSI = 1004;
inline constexpr UINT CF_TEXT = 1;
inline constexpr DWORD TIMEOUT_ASYNC = 0xFFFFFFFF;
inline constexpr UINT HDATA_APPOWNED = 0x0001;

// Error codes.
inline constexpr UINT DMLERR_NO_ERROR = 0;
inline constexpr UINT DMLERR_ADVACKTIMEOUT = 0x4000;
inline constexpr UINT DMLERR_BUSY = 0x4001;
inline constexpr UINT DMLERR_DATAACKTIMEOUT = 0x4002;
inline constexpr UINT DMLERR_DLL_NOT_INITIALIZED = 0x4003;
inline constexpr UINT DMLERR_DLL_USAGE = 0x4004;
inline constexpr UINT DMLERR_EXECACKTIMEOUT = 0x4005;
inline constexpr UINT DMLERR_INVALIDPARAMETER = 0x4006;
inline constexpr UINT DMLERR_LOW_MEMORY = 0x4007;
inline constexpr UINT DMLERR_MEMORY_ERROR = 0x4008;
inline constexpr UINT DMLERR_NOTPROCESSED = 0x4009;
inline constexpr UINT DMLERR_NO_CONV_ESTABLISHED = 0x400A;
inline constexpr UINT DMLERR_POKEACKTIMEOUT = 0x400B;
inline constexpr UINT DMLERR_POSTMSG_FAILED = 0x400C;
inline constexpr UINT DMLERR_REENTRANCY = 0x400D;
inline constexpr UINT DMLERR_SERVER_DIED = 0x400E;
inline constexpr UINT DMLERR_SYS_ERROR = 0x400F;
inline constexpr UINT DMLERR_UNADVACKTIMEOUT = 0x4010;
inline constexpr UINT DMLERR_UNFOUND_QUEUE_ID = 0x4011;

// Default bound of the data queued for one conversation.
inline constexpr DWORD DEFAULT_QUEUE_LIMIT = 4u * 1024u * 1024u;

// Passed to XTYP_CONNECT (dwData1) and DdeConnect; kept for callers that
// read it, carried no further.
struct CONVCONTEXT {
    UINT cb = sizeof(CONVCONTEXT);
    UINT wFlags = 0;
    UINT wCountryID = 0;
    int iCodePage = CP_WINANSI;
    DWORD dwLangID = 0;
    DWORD dwSecurity = 0;
};
using PCONVCONTEXT = CONVCONTEXT*;

// Data of XTYP_WILDCONNECT: pairs ending with a pair of nulls.
struct HSZPAIR {
    HSZ hszSvc;
    HSZ hszTopic;
};

// Data of XTYP_MONITOR; dwData2 names the kind (one MF_ flag). String and
// conversation handles in it are valid during the call-back.
struct MONCBSTRUCT {   // MF_CALLBACKS: a call-back of another instance ran
    UINT cb;
    DWORD dwTime;
    DWORD idInst;
    DWORD dwRet;
    UINT wType;
    UINT wFmt;
    HCONV hConv;
    HSZ hsz1;
    HSZ hsz2;
    ULONG_PTR dwData1;
    ULONG_PTR dwData2;
};
struct MONCONVSTRUCT {  // MF_CONV: a conversation began (fConnect) or ended
    UINT cb;
    BOOL fConnect;
    DWORD dwTime;
    DWORD idInst;
    HSZ hszSvc;
    HSZ hszTopic;
    HCONV hConv;
    BOOL fServer;
};
struct MONLINKSTRUCT {  // MF_LINKS: an advise loop began (fEstablished) or ended
    UINT cb;
    DWORD dwTime;
    DWORD idInst;
    BOOL fEstablished;
    BOOL fNoData;
    HSZ hszSvc;
    HSZ hszTopic;
    HSZ hszItem;
    UINT wFmt;
    BOOL fServer;
    HCONV hConv;
};
struct MONERRSTRUCT {   // MF_ERRORS: an error was set
    UINT cb;
    UINT wLastError;
    DWORD dwTime;
    DWORD idInst;
};
inline constexpr UINT MH_CREATE = 1;
inline constexpr UINT MH_KEEP = 2;
inline constexpr UINT MH_DELETE = 3;
inline constexpr UINT MH_CLEANUP = 4;
struct MONHSZSTRUCT {   // MF_HSZ_INFO: a string handle was made or let go
    UINT cb;
    UINT fsAction;
    DWORD dwTime;
    DWORD idInst;
    HSZ hsz;
    char str[256];
};

// Instances.
UINT DdeInitialize(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD afCmd, DWORD ulRes);
BOOL DdeUninitialize(DWORD idInst);
UINT DdeGetLastError(DWORD idInst);
// The instance whose call-back runs on this thread right now, else 0.
DWORD DdeGetCallbackInstance();
// A descriptor that polls readable while call-backs of the instance wait;
// -1 for an unknown instance.
int DdeGetEventFd(DWORD idInst);
// Runs the waiting call-backs on the owner thread, waiting up to timeoutMs
// (0: none; INFINITE: until one is there) for the first. The number run,
// or -1 (last error set) for an unknown instance or the wrong thread.
int DdeProcessPending(DWORD idInst, DWORD timeoutMs);
// Bound of the bytes queued per conversation before its partner is dropped.
BOOL DdeSetQueueLimit(DWORD idInst, DWORD bytes);

// Service names.
HDDEDATA DdeNameService(DWORD idInst, HSZ hsz1, HSZ hsz2, UINT afCmd);

// String handles.
HSZ DdeCreateStringHandle(DWORD idInst, LPCSTR psz, int iCodePage);
BOOL DdeFreeStringHandle(DWORD idInst, HSZ hsz);
BOOL DdeKeepStringHandle(DWORD idInst, HSZ hsz);
// Copies the text (terminated, cut to cchMax - 1); with a null psz gives the
// length. 0 for an unknown handle.
DWORD DdeQueryString(DWORD idInst, HSZ hsz, LPSTR psz, DWORD cchMax, int iCodePage);
// 0 when equal (any case), -1 / 1 by order; a null handle sorts first.
int DdeCmpStringHandles(HSZ hsz1, HSZ hsz2);

// Data handles.
HDDEDATA DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff, HSZ hszItem, UINT wFmt,
                             UINT afCmd);
HDDEDATA DdeAddData(HDDEDATA hData, LPBYTE pSrc, DWORD cb, DWORD cbOff);
DWORD DdeGetData(HDDEDATA hData, LPBYTE pDst, DWORD cbMax, DWORD cbOff);
LPBYTE DdeAccessData(HDDEDATA hData, LPDWORD pcbDataSize);
BOOL DdeUnaccessData(HDDEDATA hData);
BOOL DdeFreeDataHandle(HDDEDATA hData);

// Conversations and transactions.
HCONV DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic, PCONVCONTEXT pCC);
BOOL DdeDisconnect(HCONV hConv);
HDDEDATA DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv, HSZ hszItem, UINT wFmt, UINT wType,
                              DWORD dwTimeout, LPDWORD pdwResult);
BOOL DdeAbandonTransaction(DWORD idInst, HCONV hConv, DWORD idTransaction);
// Sends XTYP_ADVREQ to the call-back for every advise loop on (topic, item)
// (a null handle matches every topic or item) and the answers to the
// clients. Owner thread only.
BOOL DdePostAdvise(DWORD idInst, HSZ hszTopic, HSZ hszItem);
