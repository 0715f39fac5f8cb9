// Terminal keyboard bytes, cut into chunks at places the input chooses, as
// they arrive from a terminal. Every key comes as a key-down followed by
// its key-up, no byte yields more than one key, and nothing is left once
// the keyboard goes quiet.
#include "Platform/ConsoleTerminal.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte: how long the chunks are (1 to 16 bytes).
    const size_t chunk = 1 + data[0] % 16;
    Platform::KeyDecoder decoder;
    std::vector<INPUT_RECORD> events;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = at + chunk <= size ? chunk : size - at;
        decoder.Feed(data + at, n, events);
        // A pause after every fourth chunk: what waits is flushed.
        if ((at / chunk) % 4 == 3)
            decoder.Flush(events);
    }
    decoder.Flush(events);
    if (decoder.Pending())
        std::abort();
    if (events.size() % 2 != 0 || events.size() > 2 * (size - 1))
        std::abort();
    for (size_t i = 0; i < events.size(); i += 2) {
        const KEY_EVENT_RECORD& down = events[i].Event.KeyEvent;
        const KEY_EVENT_RECORD& up = events[i + 1].Event.KeyEvent;
        if (events[i].EventType != KEY_EVENT || events[i + 1].EventType != KEY_EVENT || !down.bKeyDown ||
            up.bKeyDown || down.wVirtualKeyCode != up.wVirtualKeyCode || down.uChar.AsciiChar != up.uChar.AsciiChar)
            std::abort();
    }
    return 0;
}
