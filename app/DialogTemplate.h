// Dialog template 102, the progress dialog's layout, in dialog units.
//
// A dialog unit is a quarter of the average character width of the dialog's
// font horizontally and an eighth of its height vertically, so the dialog grows
// with its font (and with the screen's DPI, which sets the font size).  The
// average width is that of the 52 letters A-Z and a-z, rounded, as the dialog
// manager computes its base units.
#pragma once

#include "platform/Types.h"

#include <cstddef>

// Control ids of template 102.
constexpr int IDC_FILE_PROGRESS = 1000;
constexpr int IDC_MESSAGE = 1001;
constexpr int IDC_SOURCE_LABEL = 1002;
constexpr int IDC_TARGET_LABEL = 1003;
constexpr int IDC_SOURCE_NAME = 1004;
constexpr int IDC_TARGET_NAME = 1005;
constexpr int IDC_OVERALL_PROGRESS = 1006;
constexpr int IDC_OVERALL_LABEL = 1007;
constexpr int IDC_STATIC = -1;

constexpr int IDR_MAINFRAME = 128;   // the application icon

enum class ControlKind { ProgressBar, Text, GroupBox };

struct DialogRect {
    int x;
    int y;
    int width;
    int height;
};

struct TemplateControl {
    int id;
    ControlKind kind;
    DialogRect rect;   // dialog units
    UINT textId;       // text of the template (platform/StringIds.h), 0 for none
};

// The dialog's own rectangle, in dialog units: position (0, 0), 214 x 91.
constexpr DialogRect kTemplateRect {0, 0, 214, 91};

// The controls in template order.
const TemplateControl* TemplateControls(std::size_t* count);

// Dialog base units in pixels: cx is the average character width, cy the
// character height.
struct DialogBaseUnits {
    int cx;
    int cy;
};

// Base units from the width of the 52 letters A-Z a-z and the font height.
DialogBaseUnits BaseUnitsFromFont(double widthOf52Letters, int fontHeight);

// Dialog units to pixels, rounded to the nearest pixel: x and width by cx / 4,
// y and height by cy / 8.
DialogRect MapDialogRect(const DialogRect& units, DialogBaseUnits base);

// The string id of the wait text for a job's operation and kind, or 0 when the
// operation is neither compress nor extract and the text stays empty
// (jobs/JobKind.h).
UINT WaitTextId(int zipMode, int fileType);
