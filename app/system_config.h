// The launcher's settings file, "launcher.cfg" in the configuration
// directory: it keeps beta-test mode between runs and records the launcher
// version that wrote it. Start-up loads it once; every change of the mode
// (set_beta_test_enable) saves it at once. A file written by another version,
// or by none, is rewritten in the current layout as soon as it is loaded.
//
// Failures are logged and otherwise ignored: the launcher keeps running with
// the mode it has in memory.
#ifndef QV_APP_SYSTEM_CONFIG_H
#define QV_APP_SYSTEM_CONFIG_H

// Name of the settings file inside the configuration directory.
#define SYSTEM_CONFIG_FILE_NAME "launcher.cfg"

// Reads the file into beta_test_enable and remembers the launcher version it
// names (forgetting one from an earlier load). Then saves the file when it was
// missing, unreadable, had a bad declaration, named no version or another
// one. Without a configuration directory nothing is read or saved.
void load_system_config_file();
// Writes the file with the current version and beta_test_enable. The text goes
// to a temporary file in the same directory that replaces "launcher.cfg" only
// once it is complete, so a failed save leaves the old file as it was.
void save_system_config_file();

#endif
