// CCommTimeout: the pause a redialling socket waits before its next connect
// attempt. With a fixed delay above 0 every attempt waits that long;
// otherwise attempts 1 to 10 wait 10 seconds, 11 to 120 wait 60 and later
// ones 600. Derived policies override GetDelay.
//
// Thread-safety: GetDelay is called on the connect thread; a policy is not
// changed while a socket uses it.
#pragma once

namespace Brindle {

class CCommTimeout {
public:
    explicit CCommTimeout(long fixedDelay = 0) : m_delay(fixedDelay) {}
    virtual ~CCommTimeout() = default;

    // Seconds to wait before attempt number `attempt` (counted from 1).
    virtual long GetDelay(unsigned attempt);

    long GetFixedDelay() const { return m_delay; }
    void SetFixedDelay(long seconds) { m_delay = seconds; }

private:
    long m_delay;
};

} // namespace Brindle
