// CRegSection: one open registry key (a settings section) with typed getters
// that fall back to the caller's default and setters that report success.
//
// Contract
// - Paths are separated by '/'; each segment is opened or created in turn
//   (a backslash inside a segment goes to the registry as it is). A leading
//   '/' is harmless. Open creates every missing key on the way.
// - The section owns its key and closes it on Close, re-open and
//   destruction; never the root it was opened under. A section converts to
//   its HKEY, so a nested section is made from its parent and a relative
//   path; a child holds its own key and may outlive its parent.
// - Setters return 1 when the store took the write, else 0 (also on a section
//   that is not open). Getters always return 1 and deliver the default when
//   the value is missing, of another type, too large for the buffer, or the
//   section is not open. Nothing here throws.
// - Text and buffer results never pass the caller's buffer: texts are always
//   NUL-terminated, a default that is longer than the buffer is cut.
// - Numbers stored as text (SetDouble/GetDouble) are written and read in the
//   C locale's form ("1.500000"), whatever the process locale.
// - CopyRegistry is all-or-nothing, also when the target lies inside the
//   source: the source is read first, then written in one transaction.
//
// Thread-safety: one section is used by one thread at a time; independent
// sections may be used from different threads (the store serialises).
#pragma once

#include "Platform/Registry.h"

#include <string>

namespace Brindle {

class CRegSection {
public:
    CRegSection();
    CRegSection(HKEY root, const char* path);
    ~CRegSection();
    CRegSection(const CRegSection&) = delete;
    CRegSection& operator=(const CRegSection&) = delete;
    CRegSection(CRegSection&& other) noexcept;
    CRegSection& operator=(CRegSection&& other) noexcept;

    // 1 on success; on failure the section keeps the key it had.
    int Open(HKEY root, const char* path);
    // Connects to a predefined root of a machine (this machine only; see
    // RegConnectRegistryA). 1 on success, replacing the open key.
    int OpenRemote(const char* machine, HKEY root);
    int IsOpen() const { return m_key != nullptr; }
    // Always 1.
    int Close();
    operator HKEY() const { return m_key; }

    int SetInt(const char* name, int value) const;
    // 0 for a value outside the 32 bits a REG_DWORD holds.
    int SetLong(const char* name, long value) const;
    int SetBool(const char* name, bool value) const;
    int SetDouble(const char* name, double value) const;
    int SetStr(const char* name, const char* text) const;
    int SetStr(const char* name, const std::string& text) const;
    int SetBin(const char* name, const void* data, int length) const;

    int GetInt(const char* name, int& out, int def) const;
    int GetLong(const char* name, long& out, long def) const;
    int GetBool(const char* name, bool& out, bool def) const;
    int GetDouble(const char* name, double& out, double def) const;
    // size: the buffer's capacity in bytes (text and NUL). A null default
    // gives the empty text.
    int GetStr(const char* name, char* buffer, int size, const char* def) const;
    // scratch: the largest text (with its NUL) that is read; longer values
    // give the default.
    int GetStr(const char* name, std::string& out, int scratch, const std::string& def) const;
    // Fills size bytes from def when the value is not a REG_BINARY that fits;
    // a null def gives zeros. A shorter stored value leaves the rest alone.
    int GetBin(const char* name, void* buffer, int size, const void* def) const;

    // 1 and the name of the sub-key at index (index then advanced), 0 when
    // there is none. Sub-keys whose names do not fit the buffer are passed
    // over, never handed out cut.
    int EnumKey(int& index, char* name, int size) const;
    // As EnumKey for values: the name, and the data as raw bytes; data that
    // cannot be read (do not fit) give a copy of def, cut to the buffer.
    // String data that fill the buffer without room for a NUL also give def.
    int EnumValue(int& index, char* name, int nameSize, char* data, int dataSize, const char* def) const;

    // Deletes the sub-key `name` of parent with everything below it, in one
    // step. An empty or null name does nothing.
    static void DeleteKey(HKEY parent, const char* name);
    // Copies every sub-key (recursively) and value of from into to; values of
    // to whose names are not in from stay. 1 on success; 0 and no change at
    // all on failure.
    static int CopyRegistry(HKEY from, HKEY to);

private:
    HKEY m_key;
};

} // namespace Brindle
