// Icon 128, the application icon: a blue tile with a white page held by an
// orange strap.  It is drawn by the program at 48, 32 and 16 pixels; a language
// resource library may replace it with a PNG image of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class Fl_RGB_Image;

constexpr int kAppIconSizes[] = {48, 32, 16};

// The icon at size x size pixels: RGBA, 4 bytes per pixel, rows top down,
// straight (not premultiplied) alpha.
std::vector<std::uint8_t> RenderAppIcon(int size);

// The images of icon 128 as the window takes them: the current resource
// library's PNG when it has one, else the three drawn sizes.
class CAppIcon {
public:
    CAppIcon();
    ~CAppIcon();
    CAppIcon(const CAppIcon&) = delete;
    CAppIcon& operator=(const CAppIcon&) = delete;

    const Fl_RGB_Image** Images() { return m_views.data(); }
    int Count() const { return static_cast<int>(m_views.size()); }
    // The image closest to `size` pixels, for drawing the icon in a box.
    const Fl_RGB_Image* Nearest(int size) const;

private:
    std::vector<std::vector<std::uint8_t>> m_pixels;
    std::vector<std::unique_ptr<Fl_RGB_Image>> m_images;
    std::vector<const Fl_RGB_Image*> m_views;
};
