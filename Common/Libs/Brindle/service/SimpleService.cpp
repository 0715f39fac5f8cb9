#include "Brindle/service/SimpleService.h"

namespace Brindle {

// The process's steps are protected members of CThreadProcess; they are
// reached through a class that exposes them, which adds nothing else.
namespace {
struct ProcessSteps : CThreadProcess {
    static int Init(CThreadProcess& p) { return (p.*(&ProcessSteps::ThreadInit))(); }
    static int Execute(CThreadProcess& p) { return (p.*(&ProcessSteps::ThreadExecuteFcn))(); }
};
} // namespace

CSimpleService::CSimpleService(const char* name, CThreadProcess* process) : CService(name), m_process(process) {}

int CSimpleService::ServiceInit()
{
    return m_process != nullptr ? ProcessSteps::Init(*m_process) : 0;
}

int CSimpleService::ServiceFcn()
{
    return m_process != nullptr ? ProcessSteps::Execute(*m_process) : 0;
}

} // namespace Brindle
