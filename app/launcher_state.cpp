// Process-wide launcher state (see launcher_state.h).
#include "app/launcher_state.h"

#include "app/system_config.h"

int launcher_verbose = 0;
int beta_test_enable = 0;
int updater_lock_fd = -1;
int updater_started = 0;
int update_finished = 0;
text_buffer manifest_path;
text_buffer executables_dir;
text_buffer bootname_path;
text_buffer lock_path;

int get_beta_test_enable()
{
    return beta_test_enable;
}

void set_beta_test_enable(int value)
{
    int previous = beta_test_enable;
    beta_test_enable = value;
    if (value != previous)
        save_system_config_file();
}
