// Sanitizer defaults for programs that run the GUI toolkit. The toolkit's
// libraries keep process-long caches (font lists, the accessibility bus) that
// the leak checker of sanitizer builds would report at exit; only those
// libraries are exempt, so our own leaks are still found. Full stacks let the
// exemptions match. Include this in exactly one source file of each such
// program; in other builds the definitions are never called.
#ifndef QV_GFX_TOOLKIT_SANITIZER_OPTIONS_H
#define QV_GFX_TOOLKIT_SANITIZER_OPTIONS_H

extern "C" __attribute__((used)) const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango\nleak:libatk-bridge\nleak:libatspi\nleak:libdbus-1.so\n"
           "leak:libexpat.so\n";
}
extern "C" __attribute__((used)) const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

#endif
