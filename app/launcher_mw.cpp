// launcher_mw: the launcher window, its status lines and keys (see
// launcher_mw.h).
#include "app/launcher_mw.h"

#include <stdlib.h>

#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/stattext.h>

#include "app/launcher_state.h"
#include "gfx/progress_bar.h"
#include "resources/logo.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"

int launcher_mw_constructed = 0;
vexa_bitmap *launcher_logo = NULL;

// Layout of the status lines and the bar, in window pixels.
enum {
    STATUS_LEFT = 10,
    STATUS_TOP = 230,
    STATUS_LINE_HEIGHT = 15,
    STATUS_WIDTH = 460,
    BAR_LEFT = 10,
    BAR_TOP = 280,
    BAR_WIDTH = 460,
    BAR_HEIGHT = 10
};
// wxST_NO_AUTORESIZE: the lines keep their size whatever the text.
enum { STATUS_LINE_STYLE = 1 };

wxBEGIN_EVENT_TABLE(launcher_mw, vexa_embedded_window)
    EVT_TIMER(LAUNCHER_TIMER_ID, launcher_mw::OnTimer)
    EVT_TIMER(LAUNCHER_PROGRESS_EVENT_ID, launcher_mw::on_progress_event)
    EVT_KEY_DOWN(launcher_mw::OnKeyDown)
wxEND_EVENT_TABLE()

// Our texts are bytes; a path that is not UTF-8 is shown as Latin-1 rather
// than not at all.
static wxString display_text(const char *text)
{
    wxString s = wxString::FromUTF8(text);
    if (s.empty() && text[0])
        s = wxString::From8BitData(text);
    return s;
}

int load_launcher_logo()
{
    if (launcher_logo)
        return launcher_logo->IsOk();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(launcher_logo_png, launcher_logo_png_size);
    wxImage image;
    // A broken picture is logged below; the toolkit's own report would open
    // a message box.
    wxLogNull no_message_box;
    if (image.LoadFile(stream, wxBITMAP_TYPE_PNG) && image.HasAlpha()) {
        launcher_logo = new vexa_bitmap(image);
        if (launcher_logo->IsOk())
            return 1;
        delete launcher_logo;
    }
    if (log_level > 0)
        log_message("Error in load_launcher_logo(), unable to decode the logo picture.\n");
    launcher_logo = new vexa_bitmap(LAUNCHER_WINDOW_WIDTH, LAUNCHER_WINDOW_HEIGHT);
    return 0;
}

launcher_mw::launcher_mw(wxWindow *parent, wxWindowID id, const char *name, const wxPoint &pos,
                         const wxSize &size, long style)
    : vexa_embedded_window(parent, id, name, pos, size, style),
      options_view(0),
      timer(this, LAUNCHER_TIMER_ID),
      elapsed_time(0),
      progress_bar(NULL),
      progress_event_source(this, LAUNCHER_PROGRESS_EVENT_ID)
{
    wxString label = display_text(name ? name : "");
    for (int i = 0; i < LAUNCHER_STATUS_LINES; i++)
        status_line[i] = new wxStaticText(this, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, STATUS_LINE_STYLE);

    SetBackgroundColour(*wxBLACK);

    progress_bar = new vexa_progress_bar(this, wxID_ANY, LAUNCHER_PROGRESS_BAR_NAME);
    progress_bar->set_empty_colour(32, 32, 32);
    progress_bar->set_fill_colour(128, 128, 128);
    progress_bar->set_geometry(BAR_LEFT, BAR_TOP, BAR_WIDTH, BAR_HEIGHT);
    progress_bar->Show();

    for (int i = 0; i < LAUNCHER_STATUS_LINES; i++)
        status_line[i]->SetSize(STATUS_LEFT, STATUS_TOP + STATUS_LINE_HEIGHT * i, STATUS_WIDTH, STATUS_LINE_HEIGHT);

    options_view = 0;
    launcher_mw_constructed = 1;
    elapsed_time = 0;

    timer.Start(LAUNCHER_TICK_MS, wxTIMER_CONTINUOUS);
    SetFocus();
}

launcher_mw::~launcher_mw()
{
    timer.Stop();
}

void launcher_mw::refresh_view(bool bitmap_is_new)
{
    (void)bitmap_is_new;
    Refresh(false);
}

void launcher_mw::draw_contents(vexa_bitmap &target)
{
    if (launcher_logo)
        target.DrawBitmapUseAlpha(*launcher_logo, 0, 0);
}

void launcher_mw::update_status_text()
{
    const int beta = get_beta_test_enable() != 0;
    text_buffer line[LAUNCHER_STATUS_LINES];

    if (beta) {
        const char *config_dir = vexa_client_get_config_directory();
        line[0].append("Config Dir: ");
        line[0].append(config_dir ? config_dir : "");
    }
    if (!options_view) {
        line[1].append(beta ? "(beta test mode - press 'escape' for options)" : "(press 'escape' for options)");
        double percent = progress_bar->get_progress();
        if (percent > 0)
            line[2].append_format("Downloading - %.1f%%", percent);
        else if (updater_started)
            line[2].append("Checking for updates...");
    } else {
        line[1].append("Launcher Version: " LAUNCHER_VERSION);
        if (beta)
            line[1].append(" - beta test mode enabled");
        line[2].append(beta ? "Press 'escape' to continue, 'b' to leave BETA TEST mode."
                            : "Press 'escape' to continue, 'b' to enter BETA TEST mode.");
    }

    for (int i = 0; i < LAUNCHER_STATUS_LINES; i++) {
        status_line[i]->SetForegroundColour(*wxWHITE);
        // SetLabelText: a '&' in a path is shown, not taken as a mnemonic.
        status_line[i]->SetLabelText(display_text(line[i].text()));
    }
}

void launcher_mw::toggle_options_view()
{
    options_view = !options_view;
    update_status_text();
}

void launcher_mw::toggle_beta_mode()
{
    set_beta_test_enable(get_beta_test_enable() ? 0 : 1);
    update_status_text();
}

void launcher_mw::set_download_progress(double percent)
{
    progress_bar->set_progress(percent);
    // The toolkit's pending-event queue takes a copy and is safe to post to
    // from any thread; the GUI thread handles it as on_progress_event.
    wxTimerEvent event(progress_event_source);
    event.SetEventObject(this);
    AddPendingEvent(event);
}

void launcher_mw::OnTimer(wxTimerEvent &event)
{
    (void)event;
    if (!launcher_mw_constructed) {
        if (log_level > 0)
            log_message("launcher_mw::OnTimer() - constructor not finished?\n");
        return;
    }
    elapsed_time += LAUNCHER_TICK_MS;
    vexa_embedded_window::run_animations(LAUNCHER_TICK_MS);
}

void launcher_mw::on_progress_event(wxTimerEvent &event)
{
    (void)event;
    progress_bar->refresh_if_changed();
    update_status_text();
}

void launcher_mw::OnKeyDown(wxKeyEvent &event)
{
    switch (event.GetKeyCode()) {
    case LAUNCHER_KEY_OPTIONS:
        toggle_options_view();
        break;
    case LAUNCHER_KEY_BETA:
        toggle_beta_mode();
        break;
    case LAUNCHER_KEY_QUIT:
        // At once: no exit banner, no window clean-up.
        exit(0);
    default:
        break;
    }
    event.Skip();
}
