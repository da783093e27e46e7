// tamble: packs and unpacks the history files of the data-acquisition product.
#include "app/TambleApp.h"
#include "platform/ProgramStart.h"

#ifndef _WIN32
#include <malloc.h>
#endif

#include <string>
#include <vector>

int main(int argc, char** argv)
{
#ifndef _WIN32
    // Per-file buffers of up to a few MiB come from the heap and are reused by the
    // next file, instead of being mapped fresh each time (the kernel would fault in
    // and clear their pages per file of a history job).
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
    PrepareStandardStreams();
    // UTF-8 arguments (on Windows taken from the UTF-16 command line).
    std::vector<std::string> arguments = ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    CTambleApp app;
    return app.Run(static_cast<int>(arguments.size()), pointers.data());
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, loaded by the window module for the window's fonts, keeps its
// caches until the process ends; the leak checker is not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
