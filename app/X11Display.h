// The connection to the X display, opened with Xlib before FLTK sees it.
//
// FLTK ends the program when it cannot open its display, so the program opens
// the display itself first: when that fails it falls back to the terminal
// display instead of ending, and when it works the open connection is handed
// to FLTK.
#pragma once

struct _XDisplay;

// Opens the display named by $DISPLAY; null when DISPLAY is unset or empty or
// no X server answers there.
_XDisplay* OpenX11Display();

// The scale of the user interface for high-DPI screens: the Xft.dpi resource
// divided by 96, between 1 and 4; 1 when the resource is not set.
double DisplayScale(_XDisplay* display);

// The same from the resource's text (for tests); 1 for a missing or odd value.
double ScaleFromDpiText(const char* dpi);
