// launcher_frame: the launcher's borderless top-level frame (tool window, no
// caption, not in the task bar), holding the launcher window as a member.
// build_launcher_window makes, centres and shows it at start-up; the launch
// sequence closes it with close_launcher_window when it gives up.
#ifndef QV_APP_LAUNCHER_FRAME_H
#define QV_APP_LAUNCHER_FRAME_H

#include "app/launcher_mw.h"
#include "gfx/frame.h"

// Frame style: wxFRAME_TOOL_WINDOW | wxWANTS_CHARS | wxCLIP_CHILDREN.
enum { LAUNCHER_FRAME_STYLE = 0x00440004 };
// Launcher window style: wxBORDER_NONE.
enum { LAUNCHER_WINDOW_STYLE = 0x00200000 };
// Used in place of a display client area that is 0 or less wide or high.
enum { LAUNCHER_FALLBACK_DISPLAY_WIDTH = 640, LAUNCHER_FALLBACK_DISPLAY_HEIGHT = 480 };

class launcher_frame : public vexa_frame {
public:
    // The frame (no parent, title, style LAUNCHER_FRAME_STYLE), then the
    // launcher window inside it with the title as its name.
    launcher_frame(const char *title, const wxPoint &pos, const wxSize &size);
    // Forgets launcher_main_frame when it is this frame.
    virtual ~launcher_frame();

    launcher_mw mw;
};

// The frame made by build_launcher_window; null before and after it is gone.
extern launcher_frame *launcher_main_frame;

// Start-up step 9: decodes the logo, makes the frame "Quorvane Launcher" of
// 480 by 300, centres it on the client area of its display, shows it and
// makes it the application's top window. Returns the frame (also kept in
// launcher_main_frame).
launcher_frame *build_launcher_window();

// Moves the frame to the centre of a display client area of the given size
// (only the size counts, not the area's origin). A width or height of 0 or
// less is logged and replaced by 640 or 480.
void place_launcher_frame(wxFrame *frame, int display_width, int display_height);

// Closes the launcher: Destroy on the frame, which the toolkit deletes once
// control is back in its main loop; that ends the main loop. Nothing when no
// frame exists.
void close_launcher_window();

#endif
