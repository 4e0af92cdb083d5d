// vexa_progress_bar: the two rectangles for each value, and when a repaint
// is asked for. On a private X server.
#include <gtest/gtest.h>

#include <math.h>
#include <time.h>

#include <functional>
#include <string>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/rawbmp.h>

#include "gfx/progress_bar.h"
#include "tests/support/gui/toolkit_environment.h"
#include "tests/support/test_support.h"

#include "gfx/toolkit_sanitizer_options.h"

namespace {

::testing::Environment *const gui_env =
    ::testing::AddGlobalTestEnvironment(new qv_test::toolkit_environment);
using qv_test::pump_until;

class counting_bar : public vexa_progress_bar {
public:
    explicit counting_bar(wxWindow *parent) : vexa_progress_bar(parent, wxID_ANY, "Downloader progress bar") {}
    void refresh_view(bool bitmap_is_new) override
    {
        refreshes++;
        vexa_progress_bar::refresh_view(bitmap_is_new);
    }
    int refreshes = 0;
};

// One character per pixel of the bar's bitmap: 'F' fill colour, 'e' empty
// colour, '?' anything else; rows separated by '|'.
std::string bar_picture(vexa_bitmap &bmp)
{
    wxAlphaPixelData data(bmp);
    if (!data)
        return "no pixels";
    const unsigned char *base = (const unsigned char *)wxAlphaPixelData::Iterator(data).m_ptr;
    std::string s;
    for (int y = 0; y < bmp.GetHeight(); y++) {
        if (y)
            s += '|';
        for (int x = 0; x < bmp.GetWidth(); x++) {
            const unsigned char *p = base + y * data.GetRowStride() + x * 4;
            if (p[3] != 255)
                s += '?';
            else if (p[0] == 128 && p[1] == 128 && p[2] == 128)
                s += 'F';
            else if (p[0] == 32 && p[1] == 32 && p[2] == 32)
                s += 'e';
            else
                s += '?';
        }
    }
    return s;
}

std::string expected_bar(int filled, int width, int height)
{
    std::string row = std::string(filled, 'F') + std::string(width - filled, 'e');
    std::string s;
    for (int y = 0; y < height; y++)
        s += (y ? "|" : "") + row;
    return s;
}

class ProgressBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = new wxFrame(nullptr, wxID_ANY, "bar frame", wxPoint(0, 0), wxSize(480, 40));
        // A frame stretches a single child over its client area; a second
        // child keeps the bar at the size it is given.
        new wxWindow(frame, wxID_ANY, wxPoint(0, 30), wxSize(5, 5));
        bar = new counting_bar(frame);
        bar->set_fill_colour(128, 128, 128);
        bar->set_empty_colour(32, 32, 32);
    }
    void TearDown() override
    {
        frame->Destroy();
        pump_until(nullptr, 20);
    }
    wxFrame *frame = nullptr;
    counting_bar *bar = nullptr;
};

} // namespace

TEST_F(ProgressBar, StartsGreenOnBlackAtTwentyByTwenty)
{
    vexa_progress_bar plain(frame, wxID_ANY, "plain bar");
    EXPECT_EQ(wxSize(20, 20), plain.GetSize());
    EXPECT_EQ("plain bar", plain.GetName());
    EXPECT_TRUE(plain.HasFlag(wxBORDER_NONE));
    EXPECT_EQ(0.0, plain.get_progress());
    EXPECT_EQ(-1.0, plain.get_last_drawn());
    EXPECT_EQ(255, plain.get_fill_colour().green);
    EXPECT_EQ(0, plain.get_fill_colour().red);
    EXPECT_EQ(0, plain.get_empty_colour().red + plain.get_empty_colour().green + plain.get_empty_colour().blue);
}

TEST_F(ProgressBar, FilledWidthIsValueTimesWidthOver100Truncated)
{
    bar->set_geometry(10, 5, 460, 10);
    ASSERT_EQ(460, bar->get_bitmap()->GetWidth());
    struct {
        double value;
        int filled;
    } cases[] = {{0, 0},        {50, 230},   {99.9, 459}, {100, 460}, {250, 460}, {-5, 0},
                 {12.345, 56},  {0.2, 0},    {0.3, 1},    {NAN, 0},   {INFINITY, 460}, {-INFINITY, 0},
                 {1e300, 460}};
    for (const auto &c : cases) {
        bar->set_progress(c.value);
        bar->draw_contents(*bar->get_bitmap());
        EXPECT_EQ(expected_bar(c.filled, 460, 10), bar_picture(*bar->get_bitmap())) << c.value;
    }
    bar->set_progress(42.0);
    bar->draw_contents(*bar->get_bitmap());
    EXPECT_EQ(42.0, bar->get_last_drawn());
}

TEST_F(ProgressBar, RefreshIfChangedRepaintsOnlyAfterANewValue)
{
    bar->set_geometry(0, 0, 100, 4);
    bar->refreshes = 0;

    bar->refresh_if_changed(); // never drawn: -1 against 0
    EXPECT_EQ(1, bar->refreshes);
    bar->draw_contents(*bar->get_bitmap());
    bar->refresh_if_changed();
    EXPECT_EQ(1, bar->refreshes);

    bar->set_progress(30);
    EXPECT_EQ(1, bar->refreshes); // a store alone asks for nothing
    bar->refresh_if_changed();
    EXPECT_EQ(2, bar->refreshes);
    bar->draw_contents(*bar->get_bitmap());
    bar->set_progress_and_refresh(30);
    EXPECT_EQ(2, bar->refreshes);
    bar->set_progress_and_refresh(31);
    EXPECT_EQ(3, bar->refreshes);

    // Not a number never equals what was drawn.
    bar->set_progress(NAN);
    bar->draw_contents(*bar->get_bitmap());
    bar->refresh_if_changed();
    EXPECT_EQ(4, bar->refreshes);
}

TEST_F(ProgressBar, ARefreshOfTheShownBarPaintsTheNewValue)
{
    bar->set_geometry(0, 0, 460, 10);
    frame->Show();
    ASSERT_TRUE(pump_until([&] { return bar->get_last_drawn() == 0.0; }, 5000));
    bar->set_progress_and_refresh(50);
    ASSERT_TRUE(pump_until([&] { return bar->get_last_drawn() == 50.0; }, 5000));
    EXPECT_EQ(expected_bar(230, 460, 10), bar_picture(*bar->get_bitmap()));
}
