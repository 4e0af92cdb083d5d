// vexa_frame (see frame.h).
#include "gfx/frame.h"

#include <wx/iconbndl.h>

// Made on the first add_frame_icon and kept for the process's lifetime, so it
// is never destroyed after the toolkit has shut down.
static wxIconBundle *frame_icons = NULL;
// 1 once an icon was added.
static int frame_icon_added = 0;

vexa_frame::vexa_frame(wxWindow *parent, wxWindowID id, const char *title, const wxPoint &pos, const wxSize &size,
                       long style)
    : wxFrame(parent, id, wxString::FromUTF8(title ? title : ""), pos, size, style,
              wxString::FromUTF8(title ? title : ""))
{
    SetName(wxString(VEXA_FRAME_NAME_PREFIX) + wxString::FromUTF8(title ? title : ""));
    if (frame_icon_added && frame_icons)
        SetIcons(*frame_icons);
}

vexa_frame::~vexa_frame() {}

void vexa_frame::add_frame_icon(const wxIcon &icon)
{
    if (!frame_icons)
        frame_icons = new wxIconBundle();
    frame_icons->AddIcon(icon);
    frame_icon_added = 1;
}
