// vexa_progress_bar (see progress_bar.h).
#include "gfx/progress_bar.h"

vexa_progress_bar::vexa_progress_bar(wxWindow *parent, wxWindowID id, const char *name)
    : vexa_embedded_window(parent, id, name, wxDefaultPosition,
                           wxSize(VEXA_PROGRESS_BAR_INITIAL_SIZE, VEXA_PROGRESS_BAR_INITIAL_SIZE), wxBORDER_NONE),
      last_drawn(-1.0),
      value(0.0),
      fill_colour(0, 255, 0),
      empty_colour(0, 0, 0)
{
}

vexa_progress_bar::~vexa_progress_bar() {}

void vexa_progress_bar::set_fill_colour(int red, int green, int blue)
{
    fill_colour = vexa_colour(red, green, blue);
}

void vexa_progress_bar::set_empty_colour(int red, int green, int blue)
{
    empty_colour = vexa_colour(red, green, blue);
}

// The value is the one item two threads share; the atomic built-ins make the
// store and load whole without a lock (plain moves on the machines we run on).
void vexa_progress_bar::set_progress(double percent)
{
    __atomic_store(&value, &percent, __ATOMIC_RELAXED);
}

double vexa_progress_bar::get_progress() const
{
    double v;
    __atomic_load(&value, &v, __ATOMIC_RELAXED);
    return v;
}

void vexa_progress_bar::refresh_if_changed()
{
    if (last_drawn != get_progress())
        refresh_view(false);
}

void vexa_progress_bar::set_progress_and_refresh(double percent)
{
    set_progress(percent);
    refresh_if_changed();
}

void vexa_progress_bar::refresh_view(bool bitmap_is_new)
{
    (void)bitmap_is_new;
    Refresh(false);
}

void vexa_progress_bar::draw_contents(vexa_bitmap &target)
{
    double v = get_progress();
    wxSize size = GetSize();
    wxSize border = GetWindowBorderSize();
    int w = size.GetWidth() - border.GetWidth();
    int h = size.GetHeight() - border.GetHeight();
    // Clamped in floating point first: converting a huge value or a NaN to
    // int would be undefined.
    double filled = v * w / 100.0;
    int f;
    if (!(filled > 0.0))
        f = 0;
    else if (filled >= (double)w)
        f = w;
    else
        f = (int)filled;
    if (f > 0)
        target.DrawFilledRectangle(0, 0, f - 1, h - 1, fill_colour);
    if (f < w)
        target.DrawFilledRectangle(f, 0, w - 1, h - 1, empty_colour);
    last_drawn = v;
}
