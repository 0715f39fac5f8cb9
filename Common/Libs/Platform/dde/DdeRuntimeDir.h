// Where DDE services live: the user's own socket directory, the names of the
// socket files, and the list of services registered in it.
//
// The directory is $XDG_RUNTIME_DIR/brindle-dde (when XDG_RUNTIME_DIR is an
// absolute path), else /tmp/brindle-dde-<uid>. It is made with mode 0700 and
// refused when it is not a directory (a link is refused too), another user
// owns it, or group or others have any access. A service socket is named
//
//   <escaped service>.<pid>.<n>.dde
//
// where the service's bytes outside [A-Za-z0-9_-] are written %XX, and
// "<pid>.<n>" names the registering instance. Files whose names do not read
// this way are ignored.
//
// Free functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform::Dde {

// The directory, made when missing. False, with errno set, when it cannot be
// made or is refused.
bool PrepareRuntimeDirectory(std::string& dir);

std::string EscapeServiceName(std::string_view service);
bool UnescapeServiceName(std::string_view escaped, std::string& service);

std::string SocketFileName(std::string_view service, std::string_view instanceName);

struct ServiceFile {
    std::string path;
    std::string service;       // as registered
    std::string instanceName;  // "<pid>.<n>"
};

// Reads a file name; false for names that are not service sockets.
bool ParseSocketFileName(std::string_view fileName, std::string& service, std::string& instanceName);

// The service sockets in the directory, oldest first; `service` empty lists
// every one, otherwise those whose name equals it without regard to ASCII
// case.
std::vector<ServiceFile> ListServiceFiles(const std::string& dir, std::string_view service);

// ASCII case-insensitive equality and folding.
bool EqualNoCase(std::string_view a, std::string_view b);
std::string FoldCase(std::string_view text);

} // namespace Platform::Dde
