// The window's images of the application icon (app/AppIconPixels.cpp draws
// them), or the current resource library's own.
#include "app/DialogIcon.h"

#include "app/DialogTemplate.h"
#include "platform/ResourceLibrary.h"

#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_RGB_Image.H>

#include <cstdlib>

CAppIcon::CAppIcon()
{
    UINT size = 0;
    if (const unsigned char* png = LookupResIcon(IDR_MAINFRAME, &size)) {
        auto image = std::make_unique<Fl_PNG_Image>(nullptr, png, static_cast<int>(size));
        if (image->w() > 0 && image->h() > 0 && image->d() >= 3) {
            m_views.push_back(image.get());
            m_images.push_back(std::move(image));
            return;
        }
    }
    for (int iconSize : kAppIconSizes) {
        m_pixels.push_back(RenderAppIcon(iconSize));
        m_images.push_back(std::make_unique<Fl_RGB_Image>(m_pixels.back().data(), iconSize, iconSize, 4));
        m_views.push_back(m_images.back().get());
    }
}

CAppIcon::~CAppIcon() = default;

const Fl_RGB_Image* CAppIcon::Nearest(int size) const
{
    const Fl_RGB_Image* best = nullptr;
    for (const Fl_RGB_Image* image : m_views)
        if (best == nullptr || std::abs(image->w() - size) < std::abs(best->w() - size))
            best = image;
    return best;
}
