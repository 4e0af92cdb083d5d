// Process entry: keeps the raw argument vector, installs the assertion
// handler, and hands over to the framework, which creates launcher_app.
#include <wx/app.h>

#include "app/launcher_app.h"
#include "gfx/toolkit_sanitizer_options.h"

wxIMPLEMENT_APP_NO_MAIN(launcher_app);

int main(int argc, char **argv)
{
    launcher_raw_argc = argc;
    launcher_raw_argv = argv;
    wxSetAssertHandler(launcher_assert_handler);
    return wxEntry(argc, argv);
}
