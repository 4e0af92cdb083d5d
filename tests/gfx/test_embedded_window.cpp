// vexa_embedded_window, the animation registry and vexa_frame, on a private
// X server.
#include <gtest/gtest.h>

#include <time.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/icon.h>
#include <wx/init.h>
#include <wx/rawbmp.h>

#include "gfx/embedded_window.h"
#include "gfx/frame.h"
#include "runtime/log.h"
#include "tests/support/gui/toolkit_environment.h"
#include "tests/support/test_support.h"

#include "gfx/toolkit_sanitizer_options.h"

namespace {

::testing::Environment *const gui_env =
    ::testing::AddGlobalTestEnvironment(new qv_test::toolkit_environment);
using qv_test::pump_until;

void pump(int ms)
{
    pump_until(nullptr, ms);
}

class probe_window : public vexa_embedded_window {
public:
    probe_window(wxWindow *parent, const wxSize &size)
        : vexa_embedded_window(parent, wxID_ANY, "probe window", wxDefaultPosition, size, wxBORDER_NONE)
    {
    }
    void refresh_view(bool bitmap_is_new) override
    {
        refreshes.push_back(bitmap_is_new);
        Refresh(false);
    }
    void draw_contents(vexa_bitmap &bmp) override
    {
        draws++;
        bmp.Clear(vexa_colour(10, 200, 30));
    }
    int animation_callback(int milliseconds) override
    {
        calls.push_back(milliseconds);
        if (on_call)
            on_call();
        return keep;
    }

    std::vector<bool> refreshes;
    int draws = 0;
    std::vector<int> calls;
    std::function<void()> on_call;
    int keep = 1;
};

// A window that registers without its own animation_callback.
class plain_window : public vexa_embedded_window {
public:
    explicit plain_window(wxWindow *parent)
        : vexa_embedded_window(parent, wxID_ANY, "plain", wxDefaultPosition, wxSize(4, 4), wxBORDER_NONE)
    {
    }
    void refresh_view(bool) override {}
    void draw_contents(vexa_bitmap &) override {}
};

class EmbeddedWindow : public ::testing::Test {
protected:
    void SetUp() override { frame = new wxFrame(nullptr, wxID_ANY, "test frame", wxPoint(0, 0), wxSize(200, 150)); }
    void TearDown() override
    {
        frame->Destroy();
        pump(20);
    }
    wxFrame *frame = nullptr;
};

int alpha_at(vexa_bitmap *bmp, int x, int y)
{
    wxAlphaPixelData data(*bmp);
    if (!data)
        return -1;
    unsigned char *p = (unsigned char *)wxAlphaPixelData::Iterator(data).m_ptr;
    return p[y * data.GetRowStride() + x * 4 + 3];
}

} // namespace

TEST_F(EmbeddedWindow, BitmapIsAtLeastOnePixelAndKeepsTheName)
{
    probe_window *empty = new probe_window(frame, wxSize(0, 0));
    EXPECT_EQ(1, empty->get_bitmap()->GetWidth());
    EXPECT_EQ(1, empty->get_bitmap()->GetHeight());
    EXPECT_EQ("probe window", empty->GetName());

    probe_window *sized = new probe_window(frame, wxSize(30, 20));
    EXPECT_EQ(30, sized->get_bitmap()->GetWidth());
    EXPECT_EQ(20, sized->get_bitmap()->GetHeight());
    EXPECT_EQ(255, alpha_at(sized->get_bitmap(), 29, 19));
}

TEST_F(EmbeddedWindow, SetGeometryRenewsTheBitmapOnlyOnANewSize)
{
    probe_window *w = new probe_window(frame, wxSize(30, 20));
    vexa_bitmap *first = w->get_bitmap();

    w->set_geometry(5, 6, 30, 20);
    EXPECT_EQ(std::vector<bool>({false}), w->refreshes);
    EXPECT_EQ(first, w->get_bitmap());
    EXPECT_EQ(wxPoint(5, 6), w->GetPosition());

    w->set_geometry(7, 8, 40, 25);
    EXPECT_EQ(std::vector<bool>({false, true}), w->refreshes);
    EXPECT_EQ(wxSize(40, 25), w->GetSize());
    EXPECT_EQ(40, w->get_bitmap()->GetWidth());
    EXPECT_EQ(25, w->get_bitmap()->GetHeight());
    EXPECT_EQ(255, alpha_at(w->get_bitmap(), 39, 24));

    w->set_geometry(0, 0, -5, 3);
    EXPECT_EQ(wxSize(1, 3), w->GetSize());
    EXPECT_EQ(1, w->get_bitmap()->GetWidth());
    EXPECT_EQ(3, w->get_bitmap()->GetHeight());

    // set_window_size resizes in place.
    w->set_geometry(9, 10, 12, 7);
    w->refreshes.clear();
    w->set_window_size(12, 7);
    w->set_window_size(14, 0);
    EXPECT_EQ(std::vector<bool>({false, true}), w->refreshes);
    EXPECT_EQ(wxPoint(9, 10), w->GetPosition());
    EXPECT_EQ(wxSize(14, 1), w->GetSize());
    EXPECT_EQ(14, w->get_bitmap()->GetWidth());

    w->refreshes.clear();
    w->redraw();
    EXPECT_EQ(std::vector<bool>({true}), w->refreshes);

    // After a resize through the toolkit alone, asking for that size still
    // gives a bitmap that matches the window.
    w->SetSize(50, 45);
    w->refreshes.clear();
    w->set_geometry(0, 0, 50, 45);
    EXPECT_EQ(std::vector<bool>({true}), w->refreshes);
    EXPECT_EQ(50, w->get_bitmap()->GetWidth());
    EXPECT_EQ(45, w->get_bitmap()->GetHeight());
}

TEST_F(EmbeddedWindow, PaintDrawsOnlyWhileShownAndSizeAndEraseAreSwallowed)
{
    probe_window *w = new probe_window(frame, wxSize(60, 40));
    frame->Show();
    ASSERT_TRUE(pump_until([&] { return w->draws > 0; }, 5000));

    w->Hide();
    pump(50);
    w->draws = 0;
    w->Refresh(false);
    pump(150);
    EXPECT_EQ(0, w->draws);

    w->Show();
    w->Refresh(false);
    EXPECT_TRUE(pump_until([&] { return w->draws > 0; }, 5000));

    vexa_bitmap *bmp = w->get_bitmap();
    wxSizeEvent size_event(wxSize(10, 10), w->GetId());
    size_event.SetEventObject(w);
    EXPECT_TRUE(w->GetEventHandler()->ProcessEvent(size_event));
    EXPECT_FALSE(size_event.GetSkipped());
    wxEraseEvent erase_event(w->GetId());
    erase_event.SetEventObject(w);
    EXPECT_TRUE(w->GetEventHandler()->ProcessEvent(erase_event));
    EXPECT_FALSE(erase_event.GetSkipped());
    EXPECT_EQ(bmp, w->get_bitmap());
}

TEST_F(EmbeddedWindow, RegistryCallsEachWindowOnceAndDropsThoseReturningZero)
{
    vexa_embedded_window::run_animations(20); // empty: nothing happens

    probe_window *a = new probe_window(frame, wxSize(4, 4));
    probe_window *b = new probe_window(frame, wxSize(4, 4));
    std::vector<char> order;
    a->on_call = [&] { order.push_back('a'); };
    b->on_call = [&] { order.push_back('b'); };

    vexa_embedded_window::register_animation(a);
    vexa_embedded_window::register_animation(b);
    vexa_embedded_window::register_animation(a); // already in: kept once
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ(std::vector<int>({20}), a->calls);
    EXPECT_EQ(std::vector<char>({'b', 'a'}), order); // newest at the front

    b->keep = 0;
    vexa_embedded_window::run_animations(40);
    EXPECT_EQ(std::vector<int>({20, 40}), b->calls);
    EXPECT_FALSE(vexa_embedded_window::is_animation_registered(b));
    EXPECT_TRUE(vexa_embedded_window::is_animation_registered(a));
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ(2u, b->calls.size());
    EXPECT_EQ(std::vector<int>({20, 40, 20}), a->calls);

    vexa_embedded_window::unregister_animation(a);
    vexa_embedded_window::unregister_animation(a); // not in: nothing
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ(3u, a->calls.size());
}

TEST_F(EmbeddedWindow, DefaultCallbackLogsOnceAndLeaves)
{
    qv_test::log_capture log;
    plain_window *w = new plain_window(frame);
    vexa_embedded_window::register_animation(w);
    vexa_embedded_window::run_animations(20);
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ("Error in vexa_embedded_window::animation_callback(), this handler should never be called.\n",
              log.text());
    EXPECT_FALSE(vexa_embedded_window::is_animation_registered(w));
}

TEST_F(EmbeddedWindow, CallbacksMayRemoveOrDestroyRegisteredWindows)
{
    probe_window *first = new probe_window(frame, wxSize(4, 4));
    probe_window *middle = new probe_window(frame, wxSize(4, 4));
    probe_window *last = new probe_window(frame, wxSize(4, 4));
    vexa_embedded_window::register_animation(last);
    vexa_embedded_window::register_animation(middle);
    vexa_embedded_window::register_animation(first); // walk order: first, middle, last

    // The first destroys its successor, the last unregisters itself.
    first->on_call = [&] { delete middle; };
    last->on_call = [&] { vexa_embedded_window::unregister_animation(last); };
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ(1u, first->calls.size());
    EXPECT_EQ(1u, last->calls.size());
    EXPECT_FALSE(vexa_embedded_window::is_animation_registered(last));

    // A registered window that is destroyed leaves the registry.
    first->on_call = nullptr;
    delete first;
    vexa_embedded_window::run_animations(20);
    EXPECT_EQ(1u, last->calls.size());
}

TEST(Frame, NameCarriesThePrefixAndLaterFramesGetTheIcons)
{
    vexa_frame *before = new vexa_frame(nullptr, wxID_ANY, "Quorvane Launcher", wxDefaultPosition, wxSize(50, 40),
                                        wxDEFAULT_FRAME_STYLE);
    EXPECT_EQ("vexa frame Quorvane Launcher", before->GetName());
    EXPECT_EQ("Quorvane Launcher", before->GetTitle());
    EXPECT_EQ(0u, before->GetIcons().GetIconCount());

    wxBitmap picture(16, 16, 32);
    wxIcon icon;
    icon.CopyFromBitmap(picture);
    vexa_frame::add_frame_icon(icon);
    vexa_frame *after = new vexa_frame(nullptr, wxID_ANY, nullptr, wxDefaultPosition, wxSize(50, 40), 0);
    EXPECT_EQ("vexa frame ", after->GetName());
    EXPECT_EQ(1u, after->GetIcons().GetIconCount());
    EXPECT_EQ(0u, before->GetIcons().GetIconCount());

    before->Destroy();
    after->Destroy();
    pump(20);
}
