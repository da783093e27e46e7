// Opening the X display and reading its DPI setting.
#include "app/X11Display.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>

_XDisplay* OpenX11Display()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return nullptr;
    return XOpenDisplay(name);
}

double ScaleFromDpiText(const char* dpi)
{
    if (dpi == nullptr || *dpi == '\0')
        return 1;
    char* end = nullptr;
    double value = std::strtod(dpi, &end);
    if (end == dpi || !(value > 0))
        return 1;
    return std::clamp(value / 96.0, 1.0, 4.0);
}

double DisplayScale(_XDisplay* display)
{
    if (display == nullptr)
        return 1;
    return ScaleFromDpiText(XGetDefault(display, "Xft", "dpi"));
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, loaded for the window's fonts, keeps its caches until the process
// ends; the leak checker is not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
