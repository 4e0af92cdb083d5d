// vexa_embedded_window and the animation registry (see embedded_window.h).
#include "gfx/embedded_window.h"

#include <wx/dcclient.h>

#include "runtime/log.h"

// Head of the registry's list, linked through next_animated.
static vexa_embedded_window *animation_head = NULL;
// The window run_animations visits next; unregistering it moves this on, so
// a callback cannot leave the walk on a window that has gone.
static vexa_embedded_window *animation_pending = NULL;

wxBEGIN_EVENT_TABLE(vexa_embedded_window, wxWindow)
    EVT_PAINT(vexa_embedded_window::on_paint)
    EVT_SIZE(vexa_embedded_window::on_size)
    EVT_ERASE_BACKGROUND(vexa_embedded_window::on_erase_background)
wxEND_EVENT_TABLE()

vexa_embedded_window::vexa_embedded_window(wxWindow *parent, wxWindowID id, const char *name, const wxPoint &pos,
                                           const wxSize &size, long style)
    : wxWindow(parent, id, pos, size, style, wxString::FromUTF8(name ? name : "")),
      bitmap(NULL),
      next_animated(NULL)
{
    int w = size.GetWidth() < 1 ? 1 : size.GetWidth();
    int h = size.GetHeight() < 1 ? 1 : size.GetHeight();
    bitmap = new vexa_bitmap(w, h);
}

vexa_embedded_window::~vexa_embedded_window()
{
    // A destroyed window left in the registry would be called after its end.
    unregister_animation(this);
    delete bitmap;
    bitmap = NULL;
}

int vexa_embedded_window::animation_callback(int milliseconds)
{
    (void)milliseconds;
    if (log_level > 0)
        log_message("Error in vexa_embedded_window::animation_callback(), this handler should never be called.\n");
    return 0;
}

void vexa_embedded_window::resize_bitmap(int *width, int *height, bool *bitmap_is_new)
{
    if (*width < 1)
        *width = 1;
    if (*height < 1)
        *height = 1;
    *bitmap_is_new = false;
    wxSize current = GetSize();
    // The bitmap is compared too: a window resized by the toolkit's own calls
    // may match the new size while its bitmap does not.
    if (current.GetWidth() != *width || current.GetHeight() != *height || !bitmap->IsOk() ||
        bitmap->GetWidth() != *width || bitmap->GetHeight() != *height) {
        delete bitmap;
        bitmap = new vexa_bitmap(*width, *height);
        *bitmap_is_new = true;
    }
}

void vexa_embedded_window::set_geometry(int x, int y, int width, int height)
{
    bool bitmap_is_new;
    resize_bitmap(&width, &height, &bitmap_is_new);
    SetSize(x, y, width, height, wxSIZE_AUTO);
    refresh_view(bitmap_is_new);
}

void vexa_embedded_window::set_window_size(int width, int height)
{
    bool bitmap_is_new;
    resize_bitmap(&width, &height, &bitmap_is_new);
    SetSize(width, height);
    refresh_view(bitmap_is_new);
}

void vexa_embedded_window::redraw()
{
    refresh_view(true);
}

void vexa_embedded_window::on_paint(wxPaintEvent &event)
{
    (void)event;
    // The paint context must exist on every paint event, drawn into or not.
    wxPaintDC dc(this);
    if (IsShown()) {
        draw_contents(*bitmap);
        dc.DrawBitmap(*bitmap, 0, 0, false);
    }
}

void vexa_embedded_window::on_size(wxSizeEvent &event)
{
    (void)event;
}

void vexa_embedded_window::on_erase_background(wxEraseEvent &event)
{
    (void)event;
}

void vexa_embedded_window::register_animation(vexa_embedded_window *window)
{
    if (!window) {
        if (log_level > 0)
            log_message("Error in vexa_embedded_window::register_animation(), null window.\n");
        return;
    }
    if (is_animation_registered(window))
        return;
    window->next_animated = animation_head;
    animation_head = window;
}

void vexa_embedded_window::unregister_animation(vexa_embedded_window *window)
{
    if (!window)
        return;
    vexa_embedded_window **link = &animation_head;
    while (*link && *link != window)
        link = &(*link)->next_animated;
    if (!*link)
        return;
    *link = window->next_animated;
    if (animation_pending == window)
        animation_pending = window->next_animated;
    window->next_animated = NULL;
}

int vexa_embedded_window::is_animation_registered(const vexa_embedded_window *window)
{
    for (vexa_embedded_window *w = animation_head; w; w = w->next_animated)
        if (w == window)
            return 1;
    return 0;
}

void vexa_embedded_window::run_animations(int milliseconds)
{
    vexa_embedded_window *saved_pending = animation_pending;
    vexa_embedded_window *window = animation_head;
    while (window) {
        animation_pending = window->next_animated;
        if (window->animation_callback(milliseconds) == 0)
            unregister_animation(window);
        window = animation_pending;
    }
    animation_pending = saved_pending;
}
