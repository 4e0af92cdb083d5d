// launcher_app: start-up and exit (see launcher_app.h).
#include "app/launcher_app.h"

#include <stdio.h>
#include <stdlib.h>

#include "app/launcher_frame.h"
#include "app/launcher_state.h"
#include "app/system_config.h"
#include "net/ssl_context.h"
#include "runtime/ascii_convert.h"
#include "runtime/config_directory.h"
#include "runtime/log.h"
#include "runtime/string_util.h"
#include "runtime/text_buffer.h"

int launcher_raw_argc = 0;
char **launcher_raw_argv = nullptr;

void launcher_assert_handler(const wxString &file, int line, const wxString &func, const wxString &cond,
                             const wxString &msg)
{
    if (log_level > 0)
        log_message("Warning in launcher_assert_handler(), framework assertion '%s' failed in %s() at %s:%d: %s\n",
                    (const char *)cond.utf8_str(), (const char *)func.utf8_str(), (const char *)file.utf8_str(),
                    line, (const char *)msg.utf8_str());
}

static void log_help(const char *program)
{
    if (log_level <= 0)
        return;
    log_message("Syntax:\n");
    log_message("%s [-h] [-b] [-u] [-v]\n", program);
    log_message("\n");
    log_message("Options are:\n");
    log_message("  -h   - this help screen\n");
    log_message("  -b   - switch to beta test mode\n");
    log_message("  -u   - switch out of beta test mode\n");
    log_message("  -v   - more verbose debug printing\n");
    log_message("\n");
}

void read_command_line(int argc, char **argv)
{
    text_buffer arg;
    for (int i = 0; i < argc; i++) {
        arg.clear();
        append_as_ascii(argv[i], &arg);
        if (i == 0) {
            if (log_level > 0)
                log_message("Executable name '%s'.\n", arg.text());
            continue;
        }
        if (word_in_list(arg.text(), "-h --help")) {
            arg.clear();
            append_as_ascii(argv[0], &arg);
            log_help(arg.text());
            exit(0);
        } else if (word_in_list(arg.text(), "-b --beta")) {
            if (log_level > 0)
                log_message("Forcing beta test mode.\n");
            set_beta_test_enable(1);
        } else if (word_in_list(arg.text(), "-u --unbeta")) {
            if (log_level > 0)
                log_message("Forcing non-beta test mode.\n");
            set_beta_test_enable(0);
        } else if (word_in_list(arg.text(), "-v --verbose")) {
            if (log_level > 0)
                log_message("Setting verbose printing mode.\n");
            launcher_verbose = 1;
        } else {
            if (log_level > 0)
                log_message("Sorry, unknown command line option '%s'.  Use '-h' for a list.\n", arg.text());
            exit(1);
        }
    }
}

// C + "/" + name into path.
static void compose_config_path(text_buffer *path, const char *config_dir, const char *name)
{
    path->clear();
    path->append(config_dir);
    path->append("/");
    path->append(name);
}

bool launcher_app::OnInit()
{
    // 1. Configuration directory; without one there is nowhere to log.
    if (!vexa_client_set_up_config_directory(LAUNCHER_CONFIG_DIR_BASE)) {
        fputs("Boot failed, unable to get at system config directory.\n", stdout);
        fflush(stdout);
        exit(1);
    }
    const char *config_dir = vexa_client_get_config_directory();

    // 2. Verbose reporting and full chatter in the log.
    launcher_verbose = 1;
    log_level = 3;

    // 3. The debug log lives in the configuration directory.
    text_buffer log_path;
    compose_config_path(&log_path, config_dir, "kestrel_launcher_log.txt");
    vexa_client_set_debug_logfile_name(log_path.text());

    // 4. The banner is the first message: it opens the log.
    if (log_level > 2)
        log_message("--------------------------- LAUNCHER START --------------------------\n");

    // 5. TLS library: a failure is reported there and only TLS connections
    // fail later, so start-up goes on whatever it returns.
    vexa_ssl_startup();

    // 6. Settings file: beta-test mode, rewritten when another version wrote it.
    load_system_config_file();

    // 7. Paths of the files the launch sequence and the update run use.
    compose_config_path(&manifest_path, config_dir, "executables/update_manifest.lst");
    compose_config_path(&executables_dir, config_dir, "executables");
    compose_config_path(&bootname_path, config_dir, "bootname.txt");

    // 8. Options act at once, in order.
    read_command_line(launcher_raw_argc, launcher_raw_argv);

    // 9. The window; from here on its timer and keys drive the launcher.
    build_launcher_window();
    return true;
}

int launcher_app::OnExit()
{
    if (log_level > 2)
        log_message("--------------------------- LAUNCHER EXIT --------------------------\n");
    return 0;
}
