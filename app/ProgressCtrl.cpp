// Progress bar range and position, and the bar widget.
#include "app/ProgressCtrl.h"

#include "app/ProgressBar.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

int FilledPixels(double fraction, int width)
{
    if (width <= 0 || !(fraction > 0))
        return 0;
    if (fraction >= 1)
        return width;
    return static_cast<int>(std::lround(fraction * width));
}

void CProgressCtrl::SetRange32(std::int64_t lower, std::int64_t upper)
{
    m_nLower = lower;
    m_nUpper = upper;
    SetPos(m_nPos);
}

void CProgressCtrl::SetRange(std::uint16_t lower, std::uint16_t upper)
{
    SetRange32(lower, upper);
}

void CProgressCtrl::GetRange(std::int64_t& lower, std::int64_t& upper) const
{
    lower = m_nLower;
    upper = m_nUpper;
}

std::int64_t CProgressCtrl::SetPos(std::int64_t pos)
{
    std::int64_t previous = m_nPos;
    std::int64_t low = std::min(m_nLower, m_nUpper);
    std::int64_t high = std::max(m_nLower, m_nUpper);
    m_nPos = std::clamp(pos, low, high);
    Show();
    return previous;
}

double CProgressCtrl::Fraction() const
{
    if (m_nUpper <= m_nLower)
        return 0;
    double span = static_cast<double>(m_nUpper) - m_nLower;
    return (static_cast<double>(m_nPos) - m_nLower) / span;
}

void CProgressCtrl::Attach(CProgressBar* bar)
{
    m_pBar = bar;
    Show();
}

void CProgressCtrl::Show()
{
    if (m_pBar != nullptr)
        m_pBar->SetFraction(Fraction());
}

void CProgressCtrl::UpdateWindow()
{
    if (m_pBar != nullptr && m_pBar->damage() && m_pBar->visible_r())
        Fl::flush();
}

CProgressBar::CProgressBar(int x, int y, int w, int h) : Fl_Widget(x, y, w, h)
{
    box(FL_FLAT_BOX);
    color(fl_rgb_color(0xE6, 0xE6, 0xE6));
    selection_color(fl_rgb_color(0x35, 0x84, 0xE4));
}

void CProgressBar::SetFraction(double fraction)
{
    int filled = FilledPixels(fraction, InnerWidth());
    if (filled != m_filled) {
        m_filled = filled;
        redraw();
    }
}

void CProgressBar::draw()
{
    // Border, trough, then the filled part from the left.
    fl_color(fl_rgb_color(0xA8, 0xA8, 0xA8));
    fl_rect(x(), y(), w(), h());
    int innerH = h() > 2 ? h() - 2 : 0;
    fl_color(color());
    fl_rectf(x() + 1, y() + 1, InnerWidth(), innerH);
    if (m_filled > 0) {
        fl_color(selection_color());
        fl_rectf(x() + 1, y() + 1, m_filled, innerH);
    }
}
