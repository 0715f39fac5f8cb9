// Error codes and their texts.
//
// errno values stand for the Windows error codes throughout the library, so a
// code from a system call and a code of our own layers read the same way and
// strerror gives their text. The ERROR_ names the library uses are mapped onto
// the errno value of the same meaning. The thread's last error is kept per
// thread, as GetLastError/SetLastError do on Windows.
//
// Thread-safety: every function here may be called from any thread.
#pragma once

#include "Platform/WinTypes.h"

#include <cerrno>
#include <string>

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD NO_ERROR = 0;
inline constexpr DWORD ERROR_INVALID_FUNCTION = ENOSYS;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = ENOENT;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = ENOENT;
inline constexpr DWORD ERROR_ACCESS_DENIED = EACCES;
inline constexpr DWORD ERROR_INVALID_HANDLE = EBADF;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = ENOMEM;
inline constexpr DWORD ERROR_OUTOFMEMORY = ENOMEM;
inline constexpr DWORD ERROR_INVALID_DATA = EBADMSG;
inline constexpr DWORD ERROR_NOT_SUPPORTED = ENOTSUP;
inline constexpr DWORD ERROR_INVALID_PARAMETER = EINVAL;
inline constexpr DWORD ERROR_BAD_ARGUMENTS = EINVAL;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = ENOBUFS;
inline constexpr DWORD ERROR_MORE_DATA = EMSGSIZE;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = ENODATA;
inline constexpr DWORD ERROR_ALREADY_EXISTS = EEXIST;
inline constexpr DWORD ERROR_FILE_EXISTS = EEXIST;
inline constexpr DWORD ERROR_BUSY = EBUSY;
inline constexpr DWORD ERROR_TIMEOUT = ETIMEDOUT;
inline constexpr DWORD ERROR_SEM_TIMEOUT = ETIMEDOUT;
inline constexpr DWORD ERROR_TOO_MANY_POSTS = EOVERFLOW;
inline constexpr DWORD ERROR_NOT_OWNER = EPERM;
inline constexpr DWORD ERROR_KEY_DELETED = EIDRM;
inline constexpr DWORD ERROR_BADDB = EUCLEAN;
inline constexpr DWORD ERROR_BADKEY = EILSEQ;
inline constexpr DWORD ERROR_CANTREAD = EIO;
inline constexpr DWORD ERROR_CANTWRITE = EIO;
inline constexpr DWORD ERROR_BAD_NETPATH = EHOSTUNREACH;
inline constexpr DWORD ERROR_OPERATION_ABORTED = ECANCELED;
inline constexpr DWORD ERROR_IO_PENDING = EINPROGRESS;
inline constexpr DWORD ERROR_HANDLE_EOF = ENODATA;
inline constexpr DWORD ERROR_BROKEN_PIPE = EPIPE;
inline constexpr DWORD ERROR_NOT_FOUND = ENOENT;
inline constexpr DWORD ERROR_INVALID_NAME = EINVAL;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = ENAMETOOLONG;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = EILSEQ;

// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD code);

// The system's message text for a code, as the Windows message table gives
// it: the text followed by "\r\n". Empty when the system has no text for the
// code. Never depends on the process locale.
std::string FormatSystemMessage(DWORD code);
