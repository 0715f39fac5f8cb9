#include "Brindle/base/Runnable.h"
#include "Brindle/base/ThreadObject.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Brindle;

namespace {

// Records the calls of the three phases; each phase does what it is told.
class ScriptedProcess : public CThreadProcess {
public:
    int initResult = 1;
    bool initThrows = false;
    int stepsBeforeStop = 1; // ThreadExecuteFcn returns 0 on this call
    bool stepThrows = false;

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_calls;
    }

protected:
    int ThreadInit() override
    {
        Record("init");
        if (initThrows)
            throw std::runtime_error("init failed");
        return initResult;
    }
    int ThreadExecuteFcn() override
    {
        Record("step");
        if (stepThrows)
            throw 7;
        return ++m_steps < stepsBeforeStop ? 1 : 0;
    }
    void ThreadExit(bool success) override { Record(success ? "exit(true)" : "exit(false)"); }

private:
    void Record(const char* what)
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_calls.emplace_back(what);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    int m_steps = 0;
};

using Calls = std::vector<std::string>;

} // namespace

TEST(ThreadProcess, PhasesRunAsTheirResultsDirect)
{
    const struct {
        int initResult, stepsBeforeStop;
        bool stepThrows;
        Calls expected;
    } cases[] = {
        {1, 1, false, {"init", "step", "exit(true)"}},
        {1, 3, false, {"init", "step", "step", "step", "exit(true)"}},
        {0, 1, false, {"init"}},                           // init refusing runs nothing else
        {1, 1, true, {"init", "step", "exit(false)"}},     // a throwing step is swallowed
    };
    for (const auto& c : cases) {
        ScriptedProcess p;
        p.initResult = c.initResult;
        p.stepsBeforeStop = c.stepsBeforeStop;
        p.stepThrows = c.stepThrows;
        EXPECT_NO_THROW(p.Run());
        EXPECT_EQ(p.Calls(), c.expected);
        EXPECT_FALSE(p.InShutdown()); // cleared as the run ends
    }
}

TEST(ThreadProcess, ThrowingInitLeavesRunAndFailsTheThread)
{
    ScriptedProcess p;
    p.initThrows = true;
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&p));
    ASSERT_EQ(thread.Wait(30000), 1);
    EXPECT_EQ(thread.GetState(), THREAD_FAIL);
    EXPECT_STREQ(thread.GetError().what(), "init failed");
    EXPECT_EQ(p.Calls(), (Calls{"init"}));
}

TEST(ThreadProcess, RequestBeforeRunSkipsTheLoopButStillInitialisesAndExits)
{
    ScriptedProcess p;
    p.RequestShutdown();
    EXPECT_TRUE(p.InShutdown());
    p.Run();
    EXPECT_EQ(p.Calls(), (Calls{"init", "exit(true)"}));
    EXPECT_FALSE(p.InShutdown());

    // The next run starts clean.
    p.Run();
    EXPECT_EQ(p.Calls(), (Calls{"init", "exit(true)", "init", "step", "exit(true)"}));
}

TEST(ThreadProcess, RunsOnAThreadObjectToSuccess)
{
    ScriptedProcess p;
    p.stepsBeforeStop = 2;
    CThreadObject thread("t");
    ASSERT_TRUE(thread.StartThread(&p));
    ASSERT_EQ(thread.Wait(30000), 1);
    EXPECT_EQ(thread.GetState(), THREAD_SUCCESS);
    EXPECT_EQ(p.Calls(), (Calls{"init", "step", "step", "exit(true)"}));
}
