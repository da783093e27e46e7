// CTextLabel: a static text control.  It paints its own background, so a
// changed text never shows over the old one, and draws the text literally (no
// '@' symbols or '&' shortcuts).  A text that is too wide for the label:
//   Caption      runs on past the label (a caption that never changes, with
//                room beside it; a neighbour's background covers what it must)
//   EndEllipsis  is cut at the end with an ellipsis
//   ShortenPath  is shortened in the middle, keeping the file name
//   Wrap         goes on in further lines
#pragma once

#include <FL/Fl_Widget.H>

#include <string>

class CTextLabel : public Fl_Widget {
public:
    enum class Fit { Caption, EndEllipsis, ShortenPath, Wrap };

    CTextLabel(int x, int y, int w, int h, Fit fit);

    // Sets the text; marks the label for repainting only when it changed.
    void SetText(const std::string& text);
    const std::string& Text() const { return m_text; }
    // The text as drawn, shortened to fit where the label does that.
    const std::string& ShownText() const { return m_shown; }

    // A new size fits the text anew.
    void resize(int x, int y, int w, int h) override;

protected:
    void draw() override;

private:
    void Refit();

    Fit m_fit;
    std::string m_text;
    std::string m_shown;
};

// Width of a text in the given FLTK font and size, in pixels.
double FlTextWidth(const std::string& text, int font, int size);
