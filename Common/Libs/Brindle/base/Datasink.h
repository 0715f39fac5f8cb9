// CDatasink: the receiver of a byte-stream source's events (a serial input,
// a socket). The source calls OnOpen when the stream opens, OnData for every
// block of bytes in arrival order, OnBlock when the stream is blocked, and
// OnClose when it ends; `source` identifies the source (for a serial input,
// the port's handle). Every default does nothing.
//
// Data handed to OnData is valid for the call only: a sink that keeps it
// copies it.
//
// Thread-safety: the events of one source arrive on that source's thread,
// one at a time; a sink shared by several sources must guard itself.
#pragma once

namespace Brindle {

class CDatasink {
public:
    virtual ~CDatasink() = default;

    virtual void OnData(const char* data, int length, void* source)
    {
        (void)data;
        (void)length;
        (void)source;
    }
    virtual void OnOpen(void* source) { (void)source; }
    virtual void OnClose(void* source) { (void)source; }
    virtual void OnBlock(void* source) { (void)source; }
};

} // namespace Brindle
