// vexa_embedded_window: a child window that keeps its whole picture in a
// vexa_bitmap. A derived class renders into the bitmap (draw_contents) and
// asks for repaints (refresh_view); every paint copies the whole bitmap to the
// screen, and erase-background events are swallowed so the window never
// flickers. The launcher window and the progress bar are embedded windows.
//
// Beside it lives the process-wide animation registry: registered windows get
// animation_callback from run_animations, which one timer drives (the
// launcher's 20 ms tick). Everything here belongs to the GUI thread.
#ifndef QV_GFX_EMBEDDED_WINDOW_H
#define QV_GFX_EMBEDDED_WINDOW_H

#include <wx/window.h>

#include "gfx/bitmap.h"

class vexa_embedded_window : public wxWindow {
public:
    // Creates the toolkit window (name becomes its window name; null is "")
    // and a bitmap of the given size, each dimension raised to 1.
    vexa_embedded_window(wxWindow *parent, wxWindowID id, const char *name, const wxPoint &pos, const wxSize &size,
                         long style);
    // Leaves the animation registry if still registered, then deletes the
    // bitmap; the toolkit window goes last.
    virtual ~vexa_embedded_window();

    // Shows the new state; bitmap_is_new tells that the bitmap was just made.
    virtual void refresh_view(bool bitmap_is_new) = 0;
    // Renders the whole picture into bitmap.
    virtual void draw_contents(vexa_bitmap &bitmap) = 0;
    // Called by run_animations with the milliseconds since the last call.
    // Returns 1 to stay registered, 0 to leave. This default logs an error and
    // returns 0.
    virtual int animation_callback(int milliseconds);
    // Moves and resizes the window (sizes below 1 count as 1). The bitmap is
    // made anew, alpha 255, when the size changes; then refresh_view tells
    // whether it was.
    virtual void set_geometry(int x, int y, int width, int height);
    // The same without moving.
    virtual void set_window_size(int width, int height);
    // refresh_view(true).
    virtual void redraw();

    // The window's picture; never null, at least 1 by 1.
    vexa_bitmap *get_bitmap() { return bitmap; }

    // Puts the window at the front of the registry unless it is already in.
    static void register_animation(vexa_embedded_window *window);
    // Unlinks the window if it is registered; otherwise nothing.
    static void unregister_animation(vexa_embedded_window *window);
    // Calls every registered window's animation_callback and drops those that
    // return 0. A callback may unregister or destroy any registered window,
    // itself included.
    static void run_animations(int milliseconds);
    // 1 when the window is in the registry.
    static int is_animation_registered(const vexa_embedded_window *window);

protected:
    void on_paint(wxPaintEvent &event);
    void on_size(wxSizeEvent &event);
    void on_erase_background(wxEraseEvent &event);

    vexa_bitmap *bitmap;
    vexa_embedded_window *next_animated;

private:
    void resize_bitmap(int *width, int *height, bool *bitmap_is_new);

    wxDECLARE_EVENT_TABLE();
};

#endif
