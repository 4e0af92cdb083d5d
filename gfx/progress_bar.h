// vexa_progress_bar: a horizontal bar showing a percentage, the left part in
// the fill colour, the rest in the empty colour. Storing a value and
// repainting are separate steps: a worker thread may store (set_progress)
// while the GUI thread repaints later (refresh_if_changed). The launcher's
// window has one for the download progress.
#ifndef QV_GFX_PROGRESS_BAR_H
#define QV_GFX_PROGRESS_BAR_H

#include "gfx/colour.h"
#include "gfx/embedded_window.h"

// Size the bar has until its owner places it.
enum { VEXA_PROGRESS_BAR_INITIAL_SIZE = 20 };

class vexa_progress_bar : public vexa_embedded_window {
public:
    // A borderless embedded window at the default position, 20 by 20, named
    // name; value 0, fill green, empty black. Place it with set_geometry.
    vexa_progress_bar(wxWindow *parent, wxWindowID id, const char *name);
    virtual ~vexa_progress_bar();

    // Store a colour; nothing is repainted.
    void set_fill_colour(int red, int green, int blue);
    void set_empty_colour(int red, int green, int blue);
    // Stores the value and nothing else; the one call that may come from
    // another thread (a single whole store of a double).
    void set_progress(double percent);
    // The stored value.
    double get_progress() const;
    // GUI thread: asks for a repaint when the value differs from the one last
    // drawn (also when either is not a number).
    void refresh_if_changed();
    // set_progress, then refresh_if_changed.
    void set_progress_and_refresh(double percent);

    // Asks the toolkit to repaint the whole bar without erasing; the argument
    // is ignored.
    void refresh_view(bool bitmap_is_new) override;
    // Renders the bar: the filled width is value * inner width / 100,
    // truncated and held within 0 and the inner width (a value that is not a
    // number draws an empty bar); both parts are painted on every call.
    void draw_contents(vexa_bitmap &bitmap) override;

    // The value as of the last draw_contents (-1 before the first).
    double get_last_drawn() const { return last_drawn; }
    const vexa_colour &get_fill_colour() const { return fill_colour; }
    const vexa_colour &get_empty_colour() const { return empty_colour; }

private:
    double last_drawn;
    double value;
    vexa_colour fill_colour;
    vexa_colour empty_colour;
};

#endif
