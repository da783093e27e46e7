// Modal message box with one OK button, running its own nested event loop.
#include "app/MessageBox.h"

#include "app/TextLabel.h"
#include "app/UiStyle.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>

#include <algorithm>

const char kMessageBoxTitle[] = "Tamble";

namespace {

// Fl::wait() without a time returns at once while no window is shown; with
// a time it also serves the timers of a hidden dialog.
constexpr double kWaitForever = 1e20;

void CloseBox(Fl_Widget* widget, void*)
{
    Fl_Window* window = widget->as_window() != nullptr ? widget->as_window() : widget->window();
    if (window != nullptr)
        window->hide();
}

// Top left corner that centres a w x h box on the owner, else on the screen,
// kept inside the screen's work area.
void PlaceBox(Fl_Window* owner, int w, int h, int& x, int& y)
{
    int sx, sy, sw, sh;
    if (owner != nullptr && owner->shown() && owner->visible()) {
        x = owner->x() + (owner->w() - w) / 2;
        y = owner->y() + (owner->h() - h) / 2;
        Fl::screen_work_area(sx, sy, sw, sh, owner->x() + owner->w() / 2, owner->y() + owner->h() / 2);
    } else {
        Fl::screen_work_area(sx, sy, sw, sh);
        x = sx + (sw - w) / 2;
        y = sy + (sh - h) / 2;
    }
    x = std::max(sx, std::min(x, sx + sw - w));
    y = std::max(sy, std::min(y, sy + sh - h));
}

}   // namespace

void ShowMessageBox(const std::string& text, const MessageBoxOptions& options)
{
    const int pad = UiPixels(16);
    const int buttonW = UiPixels(88);
    const int buttonH = UiPixels(28);
    const int font = FL_HELVETICA;
    const int size = UiFontSize();

    // Wrap the text at a readable width and size the box around it.
    int textW = UiPixels(380);
    int textH = 0;
    fl_font(font, size);
    fl_measure(text.c_str(), textW, textH, 0);
    textW = std::max(textW, UiPixels(220));
    textH = std::max(textH, fl_height());
    int boxW = textW + 2 * pad;
    int boxH = pad + textH + pad + buttonH + pad;

    Fl_Double_Window box(boxW, boxH, kMessageBoxTitle);
    CTextLabel label(pad, pad, textW, textH, CTextLabel::Fit::Wrap);
    label.labelfont(font);
    label.labelsize(size);
    label.SetText(text);
    Fl_Button ok((boxW - buttonW) / 2, boxH - pad - buttonH, buttonW, buttonH, "OK");
    ok.labelsize(size);
    ok.shortcut(FL_Enter);
    ok.callback(CloseBox);
    box.end();
    box.callback(CloseBox);   // Escape and the window manager's close
    box.set_modal();
    box.xclass("tamble-message");
    if (options.icon != nullptr)
        box.icon(options.icon);

    int x, y;
    PlaceBox(options.owner, boxW, boxH, x, y);
    box.position(x, y);
    box.show();
    Fl::focus(&ok);
    Fl::flush();
    if (options.onShown != nullptr)
        options.onShown(options.context);
    while (box.shown())
        Fl::wait(kWaitForever);
}
