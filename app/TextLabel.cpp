// Static text control with its own background and literal text.
#include "app/TextLabel.h"

#include "app/PathShorten.h"
#include "app/UiStyle.h"

#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

double FlTextWidth(const std::string& text, int font, int size)
{
    fl_font(font, size);
    return fl_width(text.c_str(), static_cast<int>(text.size()));
}

CTextLabel::CTextLabel(int x, int y, int w, int h, Fit fit) : Fl_Widget(x, y, w, h), m_fit(fit)
{
    box(FL_FLAT_BOX);
    Fl_Align clip = fit == Fit::Caption ? 0 : FL_ALIGN_CLIP;
    align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | clip | (fit == Fit::Wrap ? FL_ALIGN_WRAP : 0));
}

void CTextLabel::SetText(const std::string& text)
{
    if (text == m_text)
        return;
    m_text = text;
    Refit();
}

void CTextLabel::resize(int x, int y, int w, int h)
{
    Fl_Widget::resize(x, y, w, h);
    Refit();
}

void CTextLabel::Refit()
{
    int font = labelfont();
    int size = labelsize();
    auto measure = [font, size](const std::string& text) { return FlTextWidth(text, font, size); };
    std::string shown = m_text;
    if (m_fit == Fit::ShortenPath)
        shown = ShortenPathMiddle(m_text, w(), measure);
    else if (m_fit == Fit::EndEllipsis)
        shown = ShortenTextEnd(m_text, w() - UiPixels(3), measure);   // clear of a frame at the edge
    if (shown != m_shown) {
        m_shown = std::move(shown);
        redraw();
    }
}

void CTextLabel::draw()
{
    draw_box();
    fl_font(labelfont(), labelsize());
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    // A caption may run past the label, within the window.
    int width = m_fit == Fit::Caption && window() != nullptr ? window()->w() - x() : w();
    fl_draw(m_shown.c_str(), x(), y(), width, h(), align(), nullptr, 0);
}
