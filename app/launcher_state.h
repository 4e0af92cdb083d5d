// Process-wide launcher state shared by start-up, the window, the launch
// sequence and the worker thread. Plain ints and fixed texts: the texts are set
// on the GUI thread before the worker thread starts; the worker only writes
// update_finished, which the GUI thread polls.
#ifndef QV_APP_LAUNCHER_STATE_H
#define QV_APP_LAUNCHER_STATE_H

#include "runtime/text_buffer.h"

// The launcher's version: passed to booted clients and kept in launcher.cfg.
#define LAUNCHER_VERSION "1.096-gtk-rc4"
// Base name of the per-user configuration directory.
#define LAUNCHER_CONFIG_DIR_BASE "Quorvane"
// Window title, also the launcher window's name.
#define LAUNCHER_TITLE "Quorvane Launcher"

extern int launcher_verbose;   // verbose reporting of the update run
extern int beta_test_enable;   // beta-test mode; non-zero is on
extern int updater_lock_fd;    // updater lock held by this process; negative when not
extern int updater_started;    // 1 once a worker thread was started; never cleared
extern int update_finished;    // 1 once the worker's run is over
extern text_buffer manifest_path;   // C + "/executables/update_manifest.lst"
extern text_buffer executables_dir; // C + "/executables"
extern text_buffer bootname_path;   // C + "/bootname.txt"
extern text_buffer lock_path;       // C + "/executables/lock.tmp"

// The current beta-test mode.
int get_beta_test_enable();
// Stores the mode; when it differs from the previous value the settings file is
// saved at once.
void set_beta_test_enable(int value);

#endif
