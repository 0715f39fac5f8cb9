// DWORD values written and read back through the registry calls; a read of
// another type or size is ERROR_INVALID_DATA.
#pragma once

#include "Platform/Registry.h"

inline LONG SetDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

inline LONG GetDword(HKEY key, const char* name, DWORD* value)
{
    DWORD type = 0, size = sizeof *value;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (r == ERROR_SUCCESS && (type != REG_DWORD || size != 4))
        return ERROR_INVALID_DATA;
    return r;
}
