// The GUI toolkit started in-process on a private Xvfb for the whole test
// program, and a way to run its events while a test waits for something.
#ifndef QV_TESTS_SUPPORT_GUI_TOOLKIT_ENVIRONMENT_H
#define QV_TESTS_SUPPORT_GUI_TOOLKIT_ENVIRONMENT_H

#include <gtest/gtest.h>

#include <functional>

class wxGUIEventLoop;

namespace qv_test {

// Register with ::testing::AddGlobalTestEnvironment. before_toolkit runs
// first (for process state the windows read, such as HOME).
class toolkit_environment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

protected:
    virtual void before_toolkit() {}
    virtual void after_toolkit() {}

private:
    wxGUIEventLoop *loop_ = nullptr;
};

// Runs the toolkit's pending events until cond holds (true) or timeout_ms
// passed (false). A null cond just runs events for timeout_ms.
bool pump_until(const std::function<bool()> &cond, int timeout_ms);

} // namespace qv_test

#endif
