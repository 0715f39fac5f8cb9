// log_stream: a record plus a text stream, so that a record's text can be
// built with stream insertions and sent with one call; and lstr, the one
// global instance.
//
// Contract
// - Insertions append to the text stream (numbers in the "C" locale); each
//   holds the system lock for its own duration, so insertions from two
//   threads may interleave between insertions but never inside one.
// - Log() (under the system lock): counter + 1, timestamp = now, the
//   stream's text (control characters named, bytes 128-255 dropped) as the
//   record's text, CLog::Log(record); then severity and last error back to
//   0 and the stream emptied. Source, application, host name and batch stay
//   for the next record. Returns the stream.
// - The record's identity (source = IP address, application, host name) is
//   taken on first use, never while the library loads: lstr costs nothing
//   at load time and no name lookup runs before main.
//
// Thread-safety: as above; GetOstr and GetLogData hand out the members
// themselves: hold CSystemLock while using them when other threads log.
#pragma once

#include "Brindle/base/CritSec.h"
#include "Brindle/base/LogData.h"

#include <ostream>
#include <sstream>

namespace Brindle {

class log_stream {
public:
    log_stream();
    virtual ~log_stream();
    log_stream(const log_stream&) = delete;
    log_stream& operator=(const log_stream&) = delete;

    std::ostringstream& GetOstr() { return m_ostr; }
    CLogData& GetLogData();
    log_stream& Log();

    template <typename T>
    log_stream& operator<<(const T& value)
    {
        CSystemLock lock;
        m_ostr << value;
        return *this;
    }
    log_stream& operator<<(std::ostream& (*manipulator)(std::ostream&))
    {
        CSystemLock lock;
        m_ostr << manipulator;
        return *this;
    }

private:
    void TakeIdentity();

    CLogData m_record;
    std::ostringstream m_ostr;
    bool m_identityTaken = false;
};

extern log_stream lstr;

} // namespace Brindle
