// CProgressBar: the FLTK widget of a progress bar with a border: a light
// trough and a filled part.  It repaints only when the filled part changes.
#pragma once

#include <FL/Fl_Widget.H>

class CProgressBar : public Fl_Widget {
public:
    CProgressBar(int x, int y, int w, int h);

    // Sets the filled share (0 to 1); marks the widget for repainting when
    // the filled part changes by a pixel or more.
    void SetFraction(double fraction);

protected:
    void draw() override;

private:
    int InnerWidth() const { return w() > 2 ? w() - 2 : 0; }

    int m_filled = 0;
};
