// The per-user configuration directory, chosen once per process from a base
// name, plus the two directory helpers the choice rests on. The launcher, its
// settings file, the update engine and the debug log all keep their files in
// the remembered directory.
#ifndef QV_RUNTIME_CONFIG_DIRECTORY_H
#define QV_RUNTIME_CONFIG_DIRECTORY_H

struct text_buffer;

// Name of the file that proves a directory writable; created and removed again.
#define WRITE_TEST_FILE_NAME "xx-rw-test.qqq"

// Chooses, creates and remembers the configuration directory for base name:
// HOME/.base, ./.base, /tmp/base, ./base, the first that passes the check.
// Returns 1 when a directory was chosen; 0 (remembered path unchanged) when
// HOME is unset, every candidate failed, or base is null.
int vexa_client_set_up_config_directory(const char *base_name);
// The remembered path without a trailing "/", or null before a set-up.
const char *vexa_client_get_config_directory();
// chdir to the remembered directory. Returns 1 on success, 0 otherwise.
int vexa_client_cd_to_config_directory();
// 1 when the candidate exists or was created, belongs to this user, is not
// writable by group or others, and a file can be created in it.
int vexa_client_check_config_directory(const char *candidate);
// Creates every component of path that is followed by "/" or "\" (mode given).
// Returns 1 on success; on failure 0, with the path up to the failing
// component appended to failed_path when given.
int vexa_recursive_mkdir(const char *path, int mode, text_buffer *failed_path);
// Creates path (mode 0700; mode is ignored) and proves a file can be created
// in it ("" is the current directory). Returns 1 when it can; on failure 0,
// with the failing directory or test file path appended to failed_path.
int vexa_create_and_check_writeable_directory(const char *path, int mode, text_buffer *failed_path);

#endif
