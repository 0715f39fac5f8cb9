// Uses the installed library through its umbrella header only.
#include <Brindle/Brindle.h>

#include <cstdio>

int main()
{
    Brindle::CEvent ready(nullptr, TRUE, FALSE);
    ready.set();
    if (!ready.test())
        return 1;
    try {
        throw Brindle::CException("consumer ok", 0);
    } catch (const Brindle::CException& e) {
        std::puts(e.what());
    }
    return 0;
}
