// CSimpleService: a service whose work is an existing thread process. The
// frame's init and unit of work are the process's ThreadInit and
// ThreadExecuteFcn; the process's ThreadExit is not called by the frame.
//
// Contract: the process is not owned and must outlive the service's run;
// everything else is CService's contract.
//
// Thread-safety: as CService.
#pragma once

#include "Brindle/service/Service.h"

namespace Brindle {

class CSimpleService : public CService {
public:
    CSimpleService(const char* name, CThreadProcess* process);

    CThreadProcess* GetProcess() const { return m_process; }

protected:
    int ServiceInit() override;
    int ServiceFcn() override;

private:
    CThreadProcess* m_process;
};

} // namespace Brindle
