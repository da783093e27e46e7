// The program's message box: a small modal window with the text and an OK
// button, centred on the window it belongs to (or on the screen when that
// window is not shown).  It returns when the user has pressed OK, Enter,
// Space or Escape, or closed the box.
#pragma once

#include <string>

class Fl_Window;
class Fl_RGB_Image;

// The title of every message box (the program's name).
extern const char kMessageBoxTitle[];

struct MessageBoxOptions {
    Fl_Window* owner = nullptr;           // centred on it when it is shown
    const Fl_RGB_Image* icon = nullptr;   // the window icon of the box, if any
    // Called once the box is on screen (tests use it to find and close it).
    void (*onShown)(void* context) = nullptr;
    void* context = nullptr;
};

void ShowMessageBox(const std::string& text, const MessageBoxOptions& options);
