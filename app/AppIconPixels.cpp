// The application icon's pixels, drawn from a few shapes in a unit square with
// 4 x 4 samples per pixel, so that the small sizes stay smooth.  No toolkit is
// needed: the window takes these pixels, and the Windows build makes its icon
// file (icon 128) from them.
#include "app/DialogIcon.h"

#include <algorithm>
#include <cmath>

namespace {

struct Rgba {
    double r, g, b, a;
};

constexpr Rgba kTransparent {0, 0, 0, 0};

Rgba Hex(unsigned rgb)
{
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1};
}

Rgba Mix(Rgba a, Rgba b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

bool InRect(double x, double y, double left, double top, double right, double bottom)
{
    return x >= left && x < right && y >= top && y < bottom;
}

bool InRoundRect(double x, double y, double left, double top, double right, double bottom, double radius)
{
    if (!InRect(x, y, left, top, right, bottom))
        return false;
    double cx = std::clamp(x, left + radius, right - radius);
    double cy = std::clamp(y, top + radius, bottom - radius);
    double dx = x - cx;
    double dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

// Colour of the picture at (x, y) in the unit square; `detail` adds the text
// lines, which only blur at 16 pixels.
Rgba Sample(double x, double y, bool detail)
{
    Rgba colour = kTransparent;
    // Tile with a vertical gradient.
    if (InRoundRect(x, y, 0.04, 0.04, 0.96, 0.96, 0.2))
        colour = Mix(Hex(0x3A8DDE), Hex(0x1F5FA8), y);
    // Page with a folded top right corner.
    bool onPage = InRect(x, y, 0.26, 0.12, 0.74, 0.88);
    bool cutCorner = (x - 0.60) > (y - 0.12);
    if (onPage && !cutCorner)
        colour = (x >= 0.60 && y < 0.26) ? Hex(0xC9D6E3) : Hex(0xFFFFFF);
    // Text lines above and below the strap.
    if (detail && onPage) {
        for (double top : {0.30, 0.38, 0.66, 0.74})
            if (InRect(x, y, 0.33, top, top < 0.35 ? 0.55 : 0.67, top + 0.04))
                colour = Hex(0x9AA9B8);
    }
    // Strap across the page, with a buckle in the middle.
    if (InRect(x, y, 0.16, 0.46, 0.84, 0.58))
        colour = Hex(0xF39C1F);
    if (InRoundRect(x, y, 0.41, 0.42, 0.59, 0.62, 0.03))
        colour = Hex(0xB85F00);
    if (InRect(x, y, 0.45, 0.47, 0.55, 0.57))
        colour = Hex(0xF7B955);
    return colour;
}

std::uint8_t ToByte(double value)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

}   // namespace

std::vector<std::uint8_t> RenderAppIcon(int size)
{
    constexpr int kSamples = 4;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size > 0 ? size : 0) * size * 4);
    bool detail = size >= 24;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            // Average premultiplied colour over the samples.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    double x = (px + (sx + 0.5) / kSamples) / size;
                    double y = (py + (sy + 0.5) / kSamples) / size;
                    Rgba c = Sample(x, y, detail);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            std::uint8_t* out = &pixels[(static_cast<std::size_t>(py) * size + px) * 4];
            out[0] = ToByte(a > 0 ? r / a : 0);
            out[1] = ToByte(a > 0 ? g / a : 0);
            out[2] = ToByte(a > 0 ? b / a : 0);
            out[3] = ToByte(a / (kSamples * kSamples));
        }
    }
    return pixels;
}
