// The look of the program's windows: FLTK's gtk+ scheme on a light background,
// a sans-serif font of 8 points, everything scaled by the display's DPI
// (FLTK 1.3 does not scale by itself).
#pragma once

// Sets scheme, colours and the default font size for a UI scale (1 at 96 DPI).
void ApplyUiStyle(double scale);

// Pixel size of the dialog font: 8 points at 96 DPI times the scale.
int UiFontSize();
// A length in pixels at scale 1, scaled and rounded.
int UiPixels(int pixelsAtScaleOne);
