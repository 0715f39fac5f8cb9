// CTextBuffer: a growable, NUL-terminated character buffer with a read
// position, for assembling text and parsing it from the front.
//
// The storage is shared between copies through a reference count and copied
// before any change made while it is shared (copy on write), so copying a
// buffer is cheap. A buffer is null (no storage) until it first receives
// text or is made with a size. Growth is exact: storage grows to the size an
// operation needs, never more. `length` counts text bytes from the start of
// the storage; the unread text runs from the read position to the length.
// Every text operation leaves a NUL at the length; the forms that take an
// explicit byte count do not (AppendBuffer(0, false) terminates afterwards).
//
// Safety beyond the classic interface:
//  - one byte past the capacity is always NUL, so reading the storage as a C
//    text never runs past it, whatever was copied in with byte counts;
//  - the read position never passes the length, nor goes below 0;
//  - a null buffer reads as "" (GetBuffer, comparisons, Find);
//  - AttachBuffer with a size shorter than the text takes only that many bytes;
//  - the writable conversion to char* (where the next byte goes) is explicit,
//    so passing a buffer where a const char* is wanted gives the unread text.
//    Note that a C-style cast (const char*)buffer of a non-const buffer still
//    picks the writable conversion; use GetBuffer() for the unread text.
//
// Thread-safety: one buffer object belongs to one thread at a time. Copies
// sharing one storage may live on different threads: the count is atomic,
// and the first change through any holder makes that holder's storage
// private. CBuffer-style in-place writes do not exist here.
#pragma once

#include <atomic>

namespace Brindle {

class CTextBuffer {
public:
    // A null buffer.
    CTextBuffer();
    // Storage of exactly `size` bytes, length and position 0; with `fill`,
    // every byte is `fillChar`, otherwise every byte is NUL.
    explicit CTextBuffer(int size, bool fill = false, char fillChar = '\0');
    // Capacity `size`, then PutBuffer(text, count, size).
    CTextBuffer(const char* text, int count, int size = 0);
    CTextBuffer(const CTextBuffer& other);
    CTextBuffer& operator=(const CTextBuffer& other);
    ~CTextBuffer();

    // Null: keeps length and position and sets every byte of the (now
    // private) storage to 0. Otherwise the text and its NUL replace the
    // contents; position 0.
    CTextBuffer& operator=(const char* text);

    // Replaces the contents with `count` bytes of `text` (0: up to its NUL,
    // and then a NUL is written after them); the storage becomes at least
    // the larger of `size` (0: count + 1), count + 1 and the current size.
    // Position 0. A null text acts as assignment from null.
    void PutBuffer(const char* text, int count = 0, int size = 0);
    // Appends `count` bytes of `text` (0: up to its NUL, and then a NUL is
    // written after them). A null text appends one NUL byte as content.
    void AppendBuffer(const char* text, int count = 0);
    // advance: append the character and a NUL after it. Otherwise only make
    // sure a NUL stands at the length (the character is not kept).
    void AppendBuffer(char c, bool advance = true);
    CTextBuffer& operator+=(char c);
    CTextBuffer& operator+=(const char* text);
    void NullTerminate();
    // Sets every byte of the storage to `fillChar`; length and position stay.
    void Clear(char fillChar = '\0');
    // Grows the storage to `size` keeping the contents; smaller sizes change
    // nothing (but a shared storage becomes private).
    void Resize(int size);
    // Takes over `storage` (from new[], freed by this buffer with delete[]):
    // the text is the bytes up to the first NUL within `size` (0: the text
    // up to its NUL). Position 0.
    void AttachBuffer(char* storage, int size = 0);

    // Moves the read position over spaces, carriage returns and line feeds.
    void ConsumeWhitespace();

    int Size() const { return m_size; }
    // Unread bytes: length minus read position.
    int Length() const { return m_length - m_position; }
    // Length = the NUL-terminated text from the start of the storage.
    void ResetLength();
    void ResetIndex() { m_position = 0; }
    // Moves the read position by `count`, kept within 0..length.
    void Increment(int count);
    bool IsNull() const { return m_storage == nullptr; }

    // The unread text ("" for a null buffer).
    const char* GetBuffer() const;
    operator const char*() const { return GetBuffer(); }
    // Where the next appended byte goes (null for a null buffer).
    explicit operator char*();

    // -1, 0 or 1: byte-wise comparison of the text from the start of the
    // storage (not from the read position) with `text` (null reads as "").
    int Strcmp(const char* text) const;
    // As Strcmp, ignoring ASCII letter case.
    int Stricmp(const char* text) const;
    // Offset from the start of the storage of the first occurrence within
    // the text (the first `length` bytes), or -1.
    int Find(const char* text) const;
    int Find(char c) const;

    // The unread character at `index`; throws CException "index out of
    // bounds" (code 0) at or beyond Length().
    char operator[](unsigned index) const;
    // As above; also throws "cannot change buffer with multiple references"
    // (code 0) while the storage is shared.
    char& operator[](unsigned index);

    // 1 when both hold the same storage.
    int operator==(const CTextBuffer& other) const;

protected:
    void Attach();
    void Release();
    // Makes the storage private and at least `needed` bytes (Algorithms of
    // copy on write): keeping the old contents or starting empty.
    void CheckChange(int needed, bool keep);

private:
    char* m_storage;
    std::atomic<int>* m_refs;
    int m_size;
    int m_length;
    int m_position;

    // New zeroed storage of `size` bytes plus the guard NUL.
    static char* Allocate(int size);
    bool Overlaps(const char* text) const;
};

} // namespace Brindle
