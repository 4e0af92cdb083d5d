// launcher_app: the application object. OnInit runs the fixed start-up
// sequence (configuration directory, debug log, banner, TLS, settings, paths,
// command line, window, updater); OnExit logs the exit banner when the main
// loop ends. Fatal start-up conditions end the process from inside OnInit.
#ifndef QV_APP_LAUNCHER_APP_H
#define QV_APP_LAUNCHER_APP_H

#include <wx/app.h>

class launcher_app : public wxApp {
public:
    // Always returns true when it returns; exits the process itself on help
    // (0), an unknown option (1) or no configuration directory (1).
    bool OnInit() override;
    // Logs the exit banner; returns 0.
    int OnExit() override;
};

// The raw argument vector as main received it: the framework's own copy is
// converted through the locale, which loses bytes the launcher must see.
extern int launcher_raw_argc;
extern char **launcher_raw_argv;

// Logs a failed framework assertion and carries on, so no run can stop on a
// message box. Installed by main before the framework starts.
void launcher_assert_handler(const wxString &file, int line, const wxString &func, const wxString &cond,
                             const wxString &msg);

// Reads the command line (start-up step 8): logs argument 0, then applies each
// option in order. Exits the process on help (0) or an unknown option (1).
void read_command_line(int argc, char **argv);

#endif
