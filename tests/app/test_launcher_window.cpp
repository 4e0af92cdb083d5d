// The launcher window in-process on a private X server: how start-up builds
// and places it, the status lines in every view and mode, the keys, the
// progress hand-over from another thread, the timer and the logo.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/rawbmp.h>
#include <wx/stattext.h>

#include "app/launcher_frame.h"
#include "app/launcher_mw.h"
#include "app/launcher_state.h"
#include "app/system_config.h"
#include "gfx/progress_bar.h"
#include "resources/logo.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "tests/support/gui/toolkit_environment.h"
#include "tests/support/test_support.h"

#include "gfx/toolkit_sanitizer_options.h"

namespace {

// HOME in a temporary directory with the configuration directory set up, so
// the beta key has somewhere to save; then the toolkit on a private X server.
class launcher_environment : public qv_test::toolkit_environment {
protected:
    void before_toolkit() override
    {
        home = new qv_test::temp_dir;
        setenv("HOME", home->path().c_str(), 1);
        ASSERT_EQ(1, vexa_client_set_up_config_directory(LAUNCHER_CONFIG_DIR_BASE));
    }
    void after_toolkit() override { delete home; }
    qv_test::temp_dir *home = nullptr;
};
::testing::Environment *const gui_env = ::testing::AddGlobalTestEnvironment(new launcher_environment);
using qv_test::pump_until;

std::string label(launcher_mw &mw, int line)
{
    return mw.status_line[line]->GetLabelText().utf8_string();
}

struct px {
    int r, g, b, a;
    bool operator==(const px &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

px pixel(vexa_bitmap &bmp, int x, int y)
{
    wxAlphaPixelData data(bmp);
    if (!data)
        return {-1, -1, -1, -1};
    unsigned char *p = (unsigned char *)wxAlphaPixelData::Iterator(data).m_ptr + y * data.GetRowStride() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

bool send_key(launcher_mw &mw, int code)
{
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = code;
    event.SetId(mw.GetId());
    event.SetEventObject(&mw);
    mw.GetEventHandler()->ProcessEvent(event);
    return event.GetSkipped();
}

class animation_probe : public vexa_embedded_window {
public:
    explicit animation_probe(wxWindow *parent)
        : vexa_embedded_window(parent, wxID_ANY, "probe", wxPoint(0, 0), wxSize(2, 2), wxBORDER_NONE)
    {
    }
    void refresh_view(bool) override {}
    void draw_contents(vexa_bitmap &) override {}
    int animation_callback(int milliseconds) override
    {
        calls.push_back(milliseconds);
        return 1;
    }
    std::vector<int> calls;
};

class LauncherWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_level = log_level;
        log_level = 3;
        beta_test_enable = 0;
        updater_started = 0;
        frame = build_launcher_window();
        ASSERT_NE(nullptr, frame);
    }
    void TearDown() override
    {
        close_launcher_window();
        pump_until(nullptr, 30);
        log_level = saved_level;
        beta_test_enable = 0;
        updater_started = 0;
    }
    launcher_mw &mw() { return frame->mw; }

    qv_test::log_capture log;
    launcher_frame *frame = nullptr;
    int saved_level = 0;
};

} // namespace

TEST_F(LauncherWindow, IsBuiltCentredWithItsLinesAndBar)
{
    EXPECT_EQ(frame, launcher_main_frame);
    EXPECT_EQ(frame, wxTheApp->GetTopWindow());
    EXPECT_TRUE(frame->IsShown());
    // The private server's screen is 1280 by 1024.
    EXPECT_EQ(wxPoint(400, 362), frame->GetPosition());
    EXPECT_EQ(wxSize(480, 300), frame->GetSize());
    EXPECT_EQ("Quorvane Launcher", frame->GetTitle());
    EXPECT_EQ("vexa frame Quorvane Launcher", frame->GetName());
    for (long flag : {(long)wxFRAME_TOOL_WINDOW, (long)wxWANTS_CHARS, (long)wxCLIP_CHILDREN})
        EXPECT_TRUE(frame->HasFlag(flag)) << flag;
    for (long flag : {(long)wxCAPTION, (long)wxSYSTEM_MENU, (long)wxRESIZE_BORDER})
        EXPECT_FALSE(frame->HasFlag(flag)) << flag;
    EXPECT_NE(std::string::npos, log.text().find("OnInit(), got screen/display size of 1280, 1024.\n"));

    launcher_mw &w = mw();
    EXPECT_EQ("Quorvane Launcher", w.GetName());
    EXPECT_EQ(wxSize(480, 300), w.GetSize());
    EXPECT_EQ(480, w.get_bitmap()->GetWidth());
    EXPECT_EQ(300, w.get_bitmap()->GetHeight());
    EXPECT_TRUE(w.HasFlag(wxBORDER_NONE));
    EXPECT_EQ(*wxBLACK, w.GetBackgroundColour());
    EXPECT_EQ(1, launcher_mw_constructed);
    EXPECT_EQ(0, w.options_view);
    EXPECT_TRUE(w.timer.IsRunning());
    EXPECT_EQ(20, w.timer.GetInterval());
    EXPECT_FALSE(w.timer.IsOneShot());

    for (int i = 0; i < LAUNCHER_STATUS_LINES; i++) {
        wxStaticText *line = w.status_line[i];
        EXPECT_EQ(&w, line->GetParent());
        EXPECT_EQ(wxRect(10, 230 + 15 * i, 460, 15), line->GetRect()) << i;
        EXPECT_TRUE(line->HasFlag(wxST_NO_AUTORESIZE));
        EXPECT_EQ(wxString(wxStaticTextNameStr), line->GetName());
        EXPECT_EQ("Quorvane Launcher", label(w, i)) << i; // until the first refresh
    }

    vexa_progress_bar *bar = w.progress_bar;
    EXPECT_EQ(&w, bar->GetParent());
    EXPECT_EQ("Downloader progress bar", bar->GetName());
    EXPECT_EQ(wxRect(10, 280, 460, 10), bar->GetRect());
    EXPECT_TRUE(bar->IsShown());
    EXPECT_EQ(128, bar->get_fill_colour().red);
    EXPECT_EQ(128, bar->get_fill_colour().green);
    EXPECT_EQ(128, bar->get_fill_colour().blue);
    EXPECT_EQ(32, bar->get_empty_colour().red);
    EXPECT_EQ(32, bar->get_empty_colour().green);
    EXPECT_EQ(32, bar->get_empty_colour().blue);

    // Closing destroys the frame once the loop runs, and forgets it.
    close_launcher_window();
    EXPECT_TRUE(pump_until([] { return launcher_main_frame == nullptr; }, 5000));
}

TEST_F(LauncherWindow, BogusDisplaySizesAreReplacedBeforeCentring)
{
    struct {
        int width, height;
        int x, y;
        const char *messages;
    } cases[] = {
        {0, 1024, 80, 362,
         "Error in OnInit(), got bogus screen/display xsize of 0.  Setting to 640.\n"
         "OnInit(), got screen/display size of 640, 1024.\n"},
        {300, 300, -90, 0, "OnInit(), got screen/display size of 300, 300.\n"},
        {-7, 0, 80, 90,
         "Error in OnInit(), got bogus screen/display xsize of -7.  Setting to 640.\n"
         "Error in OnInit(), got bogus screen/display ysize of 0.  Setting to 480.\n"
         "OnInit(), got screen/display size of 640, 480.\n"},
        {1281, 1025, 400, 362, "OnInit(), got screen/display size of 1281, 1025.\n"},
    };
    for (const auto &c : cases) {
        log.reset();
        place_launcher_frame(frame, c.width, c.height);
        EXPECT_EQ(wxPoint(c.x, c.y), frame->GetPosition()) << c.width << "x" << c.height;
        EXPECT_EQ(c.messages, log.text());
    }
}

TEST_F(LauncherWindow, StatusLinesFollowViewModeAndProgress)
{
    const std::string config_line = std::string("Config Dir: ") + vexa_client_get_config_directory();
    struct {
        int beta, options, started;
        double progress;
        const char *line2;
        const char *line3;
    } cases[] = {
        {0, 0, 0, 0, "(press 'escape' for options)", ""},
        {0, 0, 1, 0, "(press 'escape' for options)", "Checking for updates..."},
        {0, 0, 1, -3, "(press 'escape' for options)", "Checking for updates..."},
        {1, 0, 1, 12.345, "(beta test mode - press 'escape' for options)", "Downloading - 12.3%"},
        {0, 0, 0, 100, "(press 'escape' for options)", "Downloading - 100.0%"},
        {0, 1, 1, 50, "Launcher Version: 1.096-gtk-rc4", "Press 'escape' to continue, 'b' to enter BETA TEST mode."},
        {1, 1, 0, 0, "Launcher Version: 1.096-gtk-rc4 - beta test mode enabled",
         "Press 'escape' to continue, 'b' to leave BETA TEST mode."},
        {7, 0, 0, 0, "(beta test mode - press 'escape' for options)", ""},
    };
    launcher_mw &w = mw();
    for (const auto &c : cases) {
        beta_test_enable = c.beta;
        updater_started = c.started;
        w.options_view = c.options;
        w.progress_bar->set_progress(c.progress);
        w.update_status_text();
        EXPECT_EQ(c.beta ? config_line : "", label(w, 0)) << c.line2;
        EXPECT_EQ(c.line2, label(w, 1));
        EXPECT_EQ(c.line3, label(w, 2)) << c.line2;
        for (int i = 0; i < LAUNCHER_STATUS_LINES; i++)
            EXPECT_EQ(*wxWHITE, w.status_line[i]->GetForegroundColour());
    }
}

TEST_F(LauncherWindow, EscapeAndBActAndEveryKeyIsPassedOn)
{
    launcher_mw &w = mw();
    std::string cfg = std::string(vexa_client_get_config_directory()) + "/" SYSTEM_CONFIG_FILE_NAME;

    EXPECT_TRUE(send_key(w, WXK_ESCAPE));
    EXPECT_EQ(1, w.options_view);
    EXPECT_EQ("Launcher Version: 1.096-gtk-rc4", label(w, 1));
    EXPECT_EQ("Press 'escape' to continue, 'b' to enter BETA TEST mode.", label(w, 2));

    EXPECT_TRUE(send_key(w, 'B'));
    EXPECT_EQ(1, get_beta_test_enable());
    EXPECT_EQ("Launcher Version: 1.096-gtk-rc4 - beta test mode enabled", label(w, 1));
    EXPECT_EQ("Press 'escape' to continue, 'b' to leave BETA TEST mode.", label(w, 2));
    // The mode was saved: reading the file back restores it.
    beta_test_enable = 0;
    load_system_config_file();
    EXPECT_EQ(1, beta_test_enable);

    EXPECT_TRUE(send_key(w, WXK_ESCAPE));
    EXPECT_EQ(0, w.options_view);
    EXPECT_EQ("(beta test mode - press 'escape' for options)", label(w, 1));

    // Other keys change nothing.
    std::string before = qv_test::read_file(cfg);
    for (int code : {(int)'X', (int)'b', (int)WXK_RETURN, (int)WXK_SPACE, (int)'E'}) {
        EXPECT_TRUE(send_key(w, code));
        EXPECT_EQ(0, w.options_view);
        EXPECT_EQ(1, get_beta_test_enable());
        EXPECT_EQ("(beta test mode - press 'escape' for options)", label(w, 1));
    }
    EXPECT_EQ(before, qv_test::read_file(cfg));

    EXPECT_TRUE(send_key(w, 'B'));
    EXPECT_EQ(0, get_beta_test_enable());
    EXPECT_EQ("", label(w, 0));
    load_system_config_file();
    EXPECT_EQ(0, beta_test_enable);
}

TEST_F(LauncherWindow, ProgressFromAnotherThreadReachesLineThreeAndTheBar)
{
    launcher_mw &w = mw();
    ASSERT_TRUE(pump_until([&] { return w.progress_bar->get_last_drawn() == 0.0; }, 5000));

    std::thread worker([&] { w.set_download_progress(12.345); });
    worker.join();
    ASSERT_TRUE(pump_until([&] { return label(w, 2) == "Downloading - 12.3%"; }, 5000));
    ASSERT_TRUE(pump_until([&] { return w.progress_bar->get_last_drawn() == 12.345; }, 5000));

    vexa_bitmap &bar = *w.progress_bar->get_bitmap();
    int filled = 0;
    for (int x = 0; x < 460; x++)
        filled += pixel(bar, x, 5) == px{128, 128, 128, 255};
    EXPECT_EQ(56, filled);
    EXPECT_TRUE(pixel(bar, 55, 9) == (px{128, 128, 128, 255}));
    EXPECT_TRUE(pixel(bar, 56, 0) == (px{32, 32, 32, 255}));
}

TEST_F(LauncherWindow, TimerCountsTwentyPerTickAndDrivesTheAnimations)
{
    launcher_mw &w = mw();
    animation_probe *probe = new animation_probe(&w);
    vexa_embedded_window::register_animation(probe);
    int start = w.elapsed_time;
    ASSERT_TRUE(pump_until([&] { return w.elapsed_time >= start + 100; }, 5000));
    EXPECT_EQ(0, w.elapsed_time % 20);
    ASSERT_FALSE(probe->calls.empty());
    for (int ms : probe->calls)
        EXPECT_EQ(20, ms);

    // Before the window counts as built, a tick only complains.
    w.timer.Stop();
    launcher_mw_constructed = 0;
    int elapsed = w.elapsed_time;
    size_t calls = probe->calls.size();
    log.reset();
    wxTimerEvent tick(w.timer);
    w.OnTimer(tick);
    launcher_mw_constructed = 1;
    EXPECT_EQ("launcher_mw::OnTimer() - constructor not finished?\n", log.text());
    EXPECT_EQ(elapsed, w.elapsed_time);
    EXPECT_EQ(calls, probe->calls.size());
    w.OnTimer(tick);
    EXPECT_EQ(elapsed + 20, w.elapsed_time);
    vexa_embedded_window::unregister_animation(probe);
}

TEST_F(LauncherWindow, LogoIsAnRgbaPngLaidDownOverBlack)
{
    // The embedded file: a PNG header with 480 by 300, 8 bits, colour type 6,
    // no interlace.
    ASSERT_GT(launcher_logo_png_size, 33u);
    EXPECT_EQ(0, memcmp(launcher_logo_png, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    const unsigned char *h = launcher_logo_png + 16;
    EXPECT_EQ(480, (h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
    EXPECT_EQ(300, (h[4] << 24) | (h[5] << 16) | (h[6] << 8) | h[7]);
    EXPECT_EQ(8, h[8]);
    EXPECT_EQ(6, h[9]);
    EXPECT_EQ(0, h[12]);

    ASSERT_NE(nullptr, launcher_logo);
    ASSERT_TRUE(launcher_logo->IsOk());
    EXPECT_EQ(480, launcher_logo->GetWidth());
    EXPECT_EQ(300, launcher_logo->GetHeight());
    EXPECT_TRUE(launcher_logo->HasAlpha());
    // Background: pure green with alpha 2; artwork: opaque pixels.
    int background = 0, opaque = 0;
    for (int y = 0; y < 300; y++)
        for (int x = 0; x < 480; x++) {
            px p = pixel(*launcher_logo, x, y);
            background += p == px{0, 255, 0, 2};
            opaque += p.a == 255;
        }
    EXPECT_GT(background, 480 * 300 * 3 / 4);
    EXPECT_GT(opaque, 2000);
    EXPECT_TRUE(pixel(*launcher_logo, 0, 0) == (px{0, 255, 0, 2}));
    EXPECT_TRUE(pixel(*launcher_logo, 240, 270) == (px{0, 255, 0, 2}));

    vexa_bitmap target(480, 300);
    target.Clear(vexa_colour(200, 50, 50));
    mw().draw_contents(target);
    EXPECT_TRUE(pixel(target, 0, 0) == (px{0, 1, 0, 255}));
    EXPECT_TRUE(pixel(target, 479, 299) == (px{0, 1, 0, 255}));

    // A second load keeps the first picture.
    vexa_bitmap *first = launcher_logo;
    EXPECT_EQ(1, load_launcher_logo());
    EXPECT_EQ(first, launcher_logo);
}
