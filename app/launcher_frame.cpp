// launcher_frame and the building of the launcher window (see
// launcher_frame.h).
#include "app/launcher_frame.h"

#include <wx/app.h>
#include <wx/display.h>

#include "app/launcher_state.h"
#include "runtime/log.h"

static_assert((long)LAUNCHER_FRAME_STYLE == (long)(wxFRAME_TOOL_WINDOW | wxWANTS_CHARS | wxCLIP_CHILDREN),
              "frame style bits");
static_assert((long)LAUNCHER_WINDOW_STYLE == (long)wxBORDER_NONE, "window style bits");

launcher_frame *launcher_main_frame = NULL;

launcher_frame::launcher_frame(const char *title, const wxPoint &pos, const wxSize &size)
    : vexa_frame(NULL, wxID_ANY, title, pos, size, LAUNCHER_FRAME_STYLE),
      mw(this, wxID_ANY, title, pos, size, LAUNCHER_WINDOW_STYLE)
{
}

launcher_frame::~launcher_frame()
{
    if (launcher_main_frame == this)
        launcher_main_frame = NULL;
}

void place_launcher_frame(wxFrame *frame, int display_width, int display_height)
{
    if (display_width <= 0) {
        if (log_level > 0)
            log_message("Error in OnInit(), got bogus screen/display xsize of %d.  Setting to 640.\n", display_width);
        display_width = LAUNCHER_FALLBACK_DISPLAY_WIDTH;
    }
    if (display_height <= 0) {
        if (log_level > 0)
            log_message("Error in OnInit(), got bogus screen/display ysize of %d.  Setting to 480.\n",
                        display_height);
        display_height = LAUNCHER_FALLBACK_DISPLAY_HEIGHT;
    }
    if (log_level > 1)
        log_message("OnInit(), got screen/display size of %d, %d.\n", display_width, display_height);
    frame->Move((display_width - LAUNCHER_WINDOW_WIDTH) / 2, (display_height - LAUNCHER_WINDOW_HEIGHT) / 2);
}

launcher_frame *build_launcher_window()
{
    load_launcher_logo();

    launcher_frame *frame =
        new launcher_frame(LAUNCHER_TITLE, wxDefaultPosition, wxSize(LAUNCHER_WINDOW_WIDTH, LAUNCHER_WINDOW_HEIGHT));
    launcher_main_frame = frame;

    // A frame not yet shown may lie on no display; the primary one is used.
    int display = wxDisplay::GetFromWindow(frame);
    if (display == wxNOT_FOUND || display < 0 || (unsigned int)display >= wxDisplay::GetCount())
        display = 0;
    wxRect area = wxDisplay((unsigned int)display).GetClientArea();
    place_launcher_frame(frame, area.GetWidth(), area.GetHeight());

    frame->Show(true);
    if (wxTheApp)
        wxTheApp->SetTopWindow(frame);
    return frame;
}

void close_launcher_window()
{
    if (launcher_main_frame)
        launcher_main_frame->Destroy();
}
