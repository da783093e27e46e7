// tamble: packs and unpacks the history files of the data-acquisition product.
#include "app/TambleApp.h"

#include <malloc.h>

int main(int argc, char** argv)
{
    // Per-file buffers of up to a few MiB come from the heap and are reused by the
    // next file, instead of being mapped fresh each time (the kernel would fault in
    // and clear their pages per file of a history job).
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
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
