// launcher_mw: the launcher's window, a 480 by 300 embedded window inside the
// launcher frame. It shows the logo, three white status lines and the
// download progress bar; its 20 ms timer drives the animation registry and
// the launch sequence; its keys open the options view (Escape), switch
// beta-test mode (B) and quit (Q). The worker thread hands download progress
// over through set_download_progress, everything else runs on the GUI thread.
#ifndef QV_APP_LAUNCHER_MW_H
#define QV_APP_LAUNCHER_MW_H

#include <wx/timer.h>

#include "gfx/embedded_window.h"

class wxStaticText;
class vexa_progress_bar;

// Window and logo size in pixels.
enum { LAUNCHER_WINDOW_WIDTH = 480, LAUNCHER_WINDOW_HEIGHT = 300 };
// Id of the repeating timer and of the posted progress events.
enum { LAUNCHER_TIMER_ID = 1, LAUNCHER_PROGRESS_EVENT_ID = 2 };
// Timer period; the elapsed time grows by this much per tick.
enum { LAUNCHER_TICK_MS = 20 };
// Status lines below the logo.
enum { LAUNCHER_STATUS_LINES = 3 };
// Key codes the window acts on (letters arrive as their upper-case codes).
enum { LAUNCHER_KEY_OPTIONS = 27, LAUNCHER_KEY_BETA = 'B', LAUNCHER_KEY_QUIT = 'Q' };

// Name of the progress bar window.
#define LAUNCHER_PROGRESS_BAR_NAME "Downloader progress bar"

class launcher_mw : public vexa_embedded_window {
public:
    // Builds the window with its status lines (each reading name until the
    // first update_status_text), the progress bar at (10, 280) 460 by 10,
    // black background; sets launcher_mw_constructed, starts the timer and
    // takes the keyboard focus.
    launcher_mw(wxWindow *parent, wxWindowID id, const char *name, const wxPoint &pos, const wxSize &size,
                long style);
    virtual ~launcher_mw();

    // Repaints the whole window without erasing, whatever the argument.
    void refresh_view(bool bitmap_is_new) override;
    // Lays the logo into the bitmap (over black).
    void draw_contents(vexa_bitmap &target) override;

    // Recomputes the three status lines for the current view, beta-test mode
    // and progress, and sets them in white.
    void update_status_text();
    // Escape: switches the options view and refreshes the lines.
    void toggle_options_view();
    // B: switches beta-test mode (saved at once) and refreshes the lines.
    void toggle_beta_mode();
    // Worker thread: stores the percentage in the progress bar and posts a
    // timer event with id 2 to this window; returns at once.
    void set_download_progress(double percent);

    // Timer id 1, every 20 ms: counts elapsed time and runs the animations.
    void OnTimer(wxTimerEvent &event);
    // Timer id 2, the posted progress event: repaints the bar if its value
    // changed and refreshes the lines.
    void on_progress_event(wxTimerEvent &event);
    // Escape, B and Q as above; every key is passed on to the toolkit.
    void OnKeyDown(wxKeyEvent &event);

    int options_view;          // 1 while the options view is shown
    wxTimer timer;             // id 1, 20 ms, repeating
    int elapsed_time;          // milliseconds, 20 per tick
    wxStaticText *status_line[LAUNCHER_STATUS_LINES];
    vexa_progress_bar *progress_bar; // a child window, deleted by the toolkit
    // Never started: the source of the progress events, which gives them id 2.
    wxTimer progress_event_source;

private:
    wxDECLARE_EVENT_TABLE();
};

// 1 once a launcher window was fully built; the timer does nothing before.
extern int launcher_mw_constructed;
// The decoded logo, made once by load_launcher_logo and kept for the process.
extern vexa_bitmap *launcher_logo;

// Decodes the embedded PNG logo (registering the PNG handler if needed) into
// launcher_logo. Returns 1 on success; on failure logs an error, leaves a
// black 480 by 300 picture and returns 0. Later calls keep the first picture.
int load_launcher_logo();

#endif
