// tamble: packs and unpacks the history files of the data-acquisition product.
#include "app/TambleApp.h"

int main(int argc, char** argv)
{
    CTambleApp app;
    return app.Run(argc, argv);
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, loaded by the window module for the window's fonts, keeps its
// caches until the process ends; the leak checker is not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
