// The real launcher's window on a private X server: where it is, what it
// shows (compared pixel by pixel with the logo laid over black), and its keys
// sent through the X server's test extension (xdotool).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <wx/image.h>
#include <wx/init.h>
#include <wx/mstream.h>
#include <wx/rawbmp.h>

#include "gfx/bitmap.h"
#include "resources/logo.h"
#include "tests/support/test_support.h"

using qv_test::process_options;
using qv_test::process_result;
using qv_test::read_file;
using qv_test::temp_dir;

namespace {

const char *const XDOTOOL = "/usr/bin/xdotool";
const int WIDTH = 480, HEIGHT = 300;

struct rgb {
    int r, g, b;
    bool operator==(const rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream &operator<<(std::ostream &os, const rgb &c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

void sleep_ms(int ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

bool wait_for(const std::function<bool()> &cond, int timeout_ms)
{
    long long deadline = qv_test::monotonic_ms() + timeout_ms;
    while (!cond()) {
        if (qv_test::monotonic_ms() > deadline)
            return false;
        sleep_ms(20);
    }
    return true;
}

// The 480 by 300 screen area of the window.
struct screenshot {
    std::vector<rgb> pixels;
    rgb at(int x, int y) const { return pixels[(size_t)y * WIDTH + x]; }
};

// What the window shows outside its status lines and bar: the logo with
// every channel weighted by its alpha over black.
std::vector<rgb> logo_over_black()
{
    static std::vector<rgb> expected;
    if (!expected.empty())
        return expected;
    wxInitialize();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(launcher_logo_png, launcher_logo_png_size);
    wxImage image(stream, wxBITMAP_TYPE_PNG);
    if (!image.IsOk() || !image.HasAlpha())
        return expected;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            int a = image.GetAlpha(x, y);
            expected.push_back({image.GetRed(x, y) * a / 256, image.GetGreen(x, y) * a / 256,
                                image.GetBlue(x, y) * a / 256});
        }
    return expected;
}

class WindowProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(qv_test::start_xvfb().empty());
        display = XOpenDisplay(nullptr);
        ASSERT_NE(nullptr, display);
    }
    static void TearDownTestSuite()
    {
        if (display)
            XCloseDisplay(display);
        display = nullptr;
    }

    void TearDown() override
    {
        // A launcher still running is stopped through its stop file.
        if (runner.joinable()) {
            qv_test::write_file(stop_path(), "stop");
            runner.join();
        }
    }

    std::string config_dir() const { return home.path() + "/.Quorvane"; }
    std::string log_text() const { return read_file(config_dir() + "/kestrel_launcher_log.txt"); }
    std::string settings() const { return read_file(config_dir() + "/launcher.cfg"); }
    std::string stop_path() const { return home.file("stop-launcher"); }

    // Starts the launcher in the background and waits for its window.
    void start()
    {
        process_options o;
        o.cwd = home.path();
        o.set_env["HOME"] = home.path();
        o.timeout_ms = 60000;
        o.stop_file = stop_path();
        o.stop_text = "stop";
        runner = std::thread([this, o] {
            result = qv_test::run_process({QV_LAUNCHER_PATH}, o);
            finished = true;
        });
        ASSERT_TRUE(wait_for([&] { return (window = find_window()) != 0 || finished; }, 30000))
            << "no window appeared; xdotool exit " << last_search.exit_status
            << (last_search.timed_out ? " (timed out)" : "") << " said: " << last_search.out << last_search.err
            << "\nlog:\n"
            << log_text();
        ASSERT_NE(0u, window) << "the launcher ended: " << result.exit_status << "\n" << log_text();
        // The first paint has happened once the bar shows its empty colour.
        ASSERT_TRUE(wait_for([&] { return shot().at(100, 285) == (rgb{32, 32, 32}); }, 10000));
    }

    Window find_window()
    {
        last_search = qv_test::run_process({XDOTOOL, "search", "--onlyvisible", "--name", "^Quorvane Launcher$"});
        if (last_search.exit_status != 0 || last_search.out.empty())
            return 0;
        return (Window)strtoul(last_search.out.c_str(), nullptr, 10);
    }

    void window_origin(int *x, int *y, int *w, int *h)
    {
        XWindowAttributes attr;
        XGetWindowAttributes(display, window, &attr);
        Window child;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, x, y, &child);
        *w = attr.width;
        *h = attr.height;
    }

    screenshot shot()
    {
        int x = 0, y = 0, w = 0, h = 0;
        window_origin(&x, &y, &w, &h);
        screenshot s;
        XImage *image = XGetImage(display, DefaultRootWindow(display), x, y, WIDTH, HEIGHT, AllPlanes, ZPixmap);
        if (!image) {
            s.pixels.assign((size_t)WIDTH * HEIGHT, rgb{-1, -1, -1});
            return s;
        }
        for (int j = 0; j < HEIGHT; j++)
            for (int i = 0; i < WIDTH; i++) {
                unsigned long p = XGetPixel(image, i, j);
                s.pixels.push_back({(int)((p & image->red_mask) >> 16), (int)((p & image->green_mask) >> 8),
                                    (int)(p & image->blue_mask)});
            }
        XDestroyImage(image);
        return s;
    }

    // Sends a key to the focused launcher window.
    void key(const char *name)
    {
        qv_test::run_process({XDOTOOL, "windowfocus", std::to_string(window)});
        sleep_ms(50);
        process_result r = qv_test::run_process({XDOTOOL, "key", name});
        ASSERT_EQ(0, r.exit_status) << r.err;
    }

    // Pixels of pure white in one status line's 460 by 15 rectangle.
    static int white_in_line(const screenshot &s, int line)
    {
        int n = 0;
        for (int y = 230 + 15 * line; y < 245 + 15 * line; y++)
            for (int x = 10; x < 470; x++)
                n += s.at(x, y) == rgb{255, 255, 255};
        return n;
    }

    // Pixels of a status line that differ from the logo under it.
    static int ink_in_line(const screenshot &s, int line)
    {
        std::vector<rgb> logo = logo_over_black();
        int n = 0;
        for (int y = 230 + 15 * line; y < 245 + 15 * line; y++)
            for (int x = 10; x < 470; x++)
                n += !(s.at(x, y) == logo[(size_t)y * WIDTH + x]);
        return n;
    }

    static Display *display;
    temp_dir home;
    std::thread runner;
    process_result result;
    std::atomic<bool> finished{false};
    Window window = 0;
    process_result last_search;
};

Display *WindowProcess::display = nullptr;

} // namespace

TEST_F(WindowProcess, ShowsTheLogoLinesAndBarCentred)
{
    ASSERT_NO_FATAL_FAILURE(start());
    int x, y, w, h;
    window_origin(&x, &y, &w, &h);
    // The private server's screen is 1280 by 1024.
    EXPECT_EQ(400, x);
    EXPECT_EQ(362, y);
    EXPECT_EQ(480, w);
    EXPECT_EQ(300, h);

    screenshot s = shot();
    std::vector<rgb> logo = logo_over_black();
    ASSERT_EQ((size_t)WIDTH * HEIGHT, logo.size());

    // Above the status lines, and around the lines and the bar, the window
    // is exactly the logo over black.
    int differing = 0;
    for (int yy = 0; yy < HEIGHT; yy++)
        for (int xx = 0; xx < WIDTH; xx++) {
            bool in_lines = xx >= 10 && xx < 470 && yy >= 230 && yy < 275;
            bool in_bar = xx >= 10 && xx < 470 && yy >= 280 && yy < 290;
            if (!in_lines && !in_bar)
                differing += !(s.at(xx, yy) == logo[(size_t)yy * WIDTH + xx]);
        }
    EXPECT_EQ(0, differing);
    EXPECT_EQ((rgb{0, 1, 0}), s.at(0, 0));

    // The bar: nothing downloaded, so all of it in the empty colour.
    int empty = 0;
    for (int yy = 280; yy < 290; yy++)
        for (int xx = 10; xx < 470; xx++)
            empty += s.at(xx, yy) == rgb{32, 32, 32};
    EXPECT_EQ(460 * 10, empty);

    // Each line shows text (the window title until the first refresh).
    for (int line = 0; line < 3; line++)
        EXPECT_GT(ink_in_line(s, line), 50) << line;

    // Escape: the options view, two lines of white text, the first empty.
    key("Escape");
    ASSERT_TRUE(wait_for([&] { return white_in_line(shot(), 1) > 20; }, 5000));
    s = shot();
    EXPECT_EQ(0, ink_in_line(s, 0));
    EXPECT_GT(white_in_line(s, 2), 20);
    // Escape again: the normal view's hint, another white text, on line 2.
    std::vector<rgb> options_line;
    for (int yy = 245; yy < 260; yy++)
        for (int xx = 10; xx < 470; xx++)
            options_line.push_back(s.at(xx, yy));
    key("Escape");
    EXPECT_TRUE(wait_for(
        [&] {
            screenshot now = shot();
            size_t i = 0, changed = 0;
            for (int yy = 245; yy < 260; yy++)
                for (int xx = 10; xx < 470; xx++)
                    changed += !(now.at(xx, yy) == options_line[i++]);
            return changed > 50 && white_in_line(now, 1) > 20;
        },
        5000));
}

TEST_F(WindowProcess, BTogglesBetaModeAndSavesIt)
{
    ASSERT_NO_FATAL_FAILURE(start());
    key("b");
    ASSERT_TRUE(wait_for([&] { return settings().find("<beta_test_enable>1</beta_test_enable>") != std::string::npos; },
                         5000))
        << settings();
    // Beta mode shows the configuration directory on line 1.
    EXPECT_TRUE(wait_for([&] { return white_in_line(shot(), 0) > 20; }, 5000));

    key("shift+b");
    ASSERT_TRUE(wait_for([&] { return settings().find("<beta_test_enable>0</beta_test_enable>") != std::string::npos; },
                         5000))
        << settings();
    EXPECT_TRUE(wait_for([&] { return ink_in_line(shot(), 0) == 0; }, 5000));
}

TEST_F(WindowProcess, QEndsTheProcessWithStatusZeroAndNoExitBanner)
{
    ASSERT_NO_FATAL_FAILURE(start());
    key("q");
    ASSERT_TRUE(wait_for([&] { return finished.load(); }, 10000));
    runner.join();
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(0, result.exit_status);
    EXPECT_EQ(0, result.term_signal);
    EXPECT_FALSE(result.stopped);
    std::string log = log_text();
    EXPECT_NE(std::string::npos, log.find("LAUNCHER START"));
    EXPECT_EQ(std::string::npos, log.find("LAUNCHER EXIT")) << log;
}
