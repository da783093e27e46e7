// Scheme, colours and font size of the windows.
#include "app/UiStyle.h"

#include <FL/Fl.H>
#include <FL/Fl_Tooltip.H>

#include <cmath>

namespace {

double g_scale = 1;

}   // namespace

void ApplyUiStyle(double scale)
{
    g_scale = scale > 0 ? scale : 1;
    Fl::scheme("gtk+");
    Fl::background(0xF6, 0xF5, 0xF4);
    Fl::background2(0xFF, 0xFF, 0xFF);
    Fl::foreground(0x24, 0x1F, 0x31);
    Fl::set_color(FL_SELECTION_COLOR, 0x35, 0x84, 0xE4);
    FL_NORMAL_SIZE = UiFontSize();
}

int UiFontSize()
{
    // 8 points are 10.67 pixels at 96 DPI; the dialog manager rounds to 11.
    return static_cast<int>(std::lround(8.0 * 96.0 / 72.0 * g_scale));
}

int UiPixels(int pixelsAtScaleOne)
{
    return static_cast<int>(std::lround(pixelsAtScaleOne * g_scale));
}
