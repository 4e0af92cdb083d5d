// Program launching: replacing the process with a program image (how the
// launcher turns into the game client), starting a detached child, handing a
// web address to a browser, and rejecting images too small to be programs.
#ifndef QV_RUNTIME_PROGRAM_LAUNCH_H
#define QV_RUNTIME_PROGRAM_LAUNCH_H

// Smallest file that can be a program image.
enum { BOOT_FILE_MIN_SIZE = 100 };
// Buffer in which numbered report texts and the browser command are formatted.
enum { LAUNCH_FORMAT_BUFFER_SIZE = 1024 };

// 1 when the image cannot be opened or is shorter than BOOT_FILE_MIN_SIZE.
int vexa_is_boot_file_bad(const char *path);
// chmod 0700 and execv(path, argv). Returns only when that failed (reported);
// a failed chmod returns without trying the exec.
void vexa_boot_exec(const char *path, char *const argv[]);
// chmod 0700, fork, and execv in a new session in the child. Returns 1 once the
// child exists (whether or not its exec succeeds), 0 when nothing started.
int vexa_fork_exec(const char *path, char *const argv[]);
// Runs the browser on address through the shell and waits. Returns 1 when the
// shell ended normally, 0 when it was killed, system() failed, or the address
// holds a character the shell would interpret (refused with a report).
int vexa_http_fork(const char *address);

#endif
