// In-process toolkit for GUI tests (see toolkit_environment.h).
#include "tests/support/gui/toolkit_environment.h"

#include <time.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>

#include "tests/support/test_support.h"

namespace qv_test {

void toolkit_environment::SetUp()
{
    before_toolkit();
    ASSERT_FALSE(start_xvfb().empty());
    wxApp::SetInstance(new wxApp);
    static int argc = 1;
    static char arg0[] = "gui-test";
    static char *argv[] = {arg0, nullptr};
    ASSERT_TRUE(wxEntryStart(argc, argv));
    loop_ = new wxGUIEventLoop;
    wxEventLoopBase::SetActive(loop_);
}

void toolkit_environment::TearDown()
{
    wxEventLoopBase::SetActive(nullptr);
    delete loop_;
    loop_ = nullptr;
    wxEntryCleanup();
    after_toolkit();
}

bool pump_until(const std::function<bool()> &cond, int timeout_ms)
{
    long long deadline = monotonic_ms() + timeout_ms;
    for (;;) {
        wxEventLoopBase::GetActive()->Yield();
        wxTheApp->ProcessPendingEvents();
        if (cond && cond())
            return true;
        if (monotonic_ms() > deadline)
            return false;
        struct timespec ts = {0, 2 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
}

} // namespace qv_test
