// vexa_frame: the top-level frame of the system's windows. Its window name is
// "vexa frame " followed by its title, and frames made after add_frame_icon
// carry the process-wide icon bundle. The launcher's frame derives from it.
#ifndef QV_GFX_FRAME_H
#define QV_GFX_FRAME_H

#include <wx/frame.h>

class wxIcon;

// Prefix of every frame's window name.
#define VEXA_FRAME_NAME_PREFIX "vexa frame "

class vexa_frame : public wxFrame {
public:
    // Creates the toolkit frame (title null counts as ""), names it
    // "vexa frame " + title and, once an icon was added, gives it the icons.
    vexa_frame(wxWindow *parent, wxWindowID id, const char *title, const wxPoint &pos, const wxSize &size,
               long style);
    virtual ~vexa_frame();

    // Adds the icon to the process-wide bundle; frames constructed afterwards
    // carry the bundle. GUI thread only.
    static void add_frame_icon(const wxIcon &icon);
};

#endif
