// CCallback: a data sink that forwards each event to plain functions, for
// code reached through a C interface. Every Register adds an entry of four
// optional function pointers (data, open, close, block) and a user pointer;
// an event reaches every entry that has a function for it, in the order the
// entries were added, with the entry's user pointer last.
//
// Contract
// - Register returns an id unique in the process (one counter for all
//   objects, from 1, safe on any thread); Unregister removes the entry with
//   that id, and an unknown id changes nothing.
// - An exception thrown by a function is caught and discarded; the event
//   still reaches the later entries.
// - A dispatch walks the entries as they were when the event began. A
//   function may register or unregister on the same object from within the
//   call: an entry added then gets the next event, an entry removed then is
//   not called again, not even later in the same walk.
// - Copies and assignment copy the entries (with their ids).
//
// Thread-safety: all members may be called from any thread. Registration and
// dispatch are serialised by the object's lock, held while the functions
// run: once Unregister returns, that entry's functions are not running and
// will not run again. A function must therefore not wait for another thread
// that registers or unregisters on the same object.
#pragma once

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Datasink.h"

#include <vector>

namespace Brindle {

using DATA_CALLBACK = void (*)(const char* data, int length, void* source, void* user);
using EVENT_CALLBACK = void (*)(void* source, void* user);

class CCallback : public CDatasink {
public:
    CCallback();
    CCallback(const CCallback& other);
    CCallback& operator=(const CCallback& other);
    ~CCallback() override;

    int Register(DATA_CALLBACK onData, EVENT_CALLBACK onOpen, EVENT_CALLBACK onClose, EVENT_CALLBACK onBlock,
                 void* user);
    void Unregister(int id);

    void OnData(const char* data, int length, void* source) override { DispatchData(data, length, source); }
    void OnOpen(void* source) override { DispatchOpen(source); }
    void OnClose(void* source) override { DispatchClose(source); }
    void OnBlock(void* source) override { DispatchBlock(source); }

protected:
    void DispatchData(const char* data, int length, void* source);
    void DispatchOpen(void* source);
    void DispatchClose(void* source);
    void DispatchBlock(void* source);

private:
    struct Entry {
        DATA_CALLBACK onData;
        EVENT_CALLBACK onOpen;
        EVENT_CALLBACK onClose;
        EVENT_CALLBACK onBlock;
        void* user;
        int id;
    };

    std::vector<Entry> Snapshot() const;
    bool IsRegistered(int id) const;
    // Calls event(entry) for each entry of the walk still registered.
    template <typename Call>
    void Dispatch(Call call);

    std::vector<Entry> m_entries;
    mutable CCritSec m_lock;
};

} // namespace Brindle
