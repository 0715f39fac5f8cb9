// A kernel handle a test owns, closed when it goes out of scope.
#pragma once

#include "Platform/KernelObjects.h"

struct OwnedHandle {
    HANDLE handle;
    ~OwnedHandle() { CloseHandle(handle); }
    operator HANDLE() const { return handle; }
};
