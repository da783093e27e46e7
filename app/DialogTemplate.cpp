// Template 102 and the conversion of dialog units to pixels.
#include "app/DialogTemplate.h"

#include "jobs/JobKind.h"
#include "platform/StringIds.h"

#include <iterator>

namespace {

constexpr TemplateControl kControls[] = {
    {IDC_FILE_PROGRESS, ControlKind::ProgressBar, {19, 49, 176, 9}, 0},
    {IDC_MESSAGE, ControlKind::Text, {29, 16, 178, 8}, IDT_MESSAGE},
    {IDC_STATIC, ControlKind::GroupBox, {7, 7, 200, 77}, 0},
    {IDC_SOURCE_LABEL, ControlKind::Text, {19, 28, 38, 8}, IDT_SOURCE_LABEL},
    {IDC_TARGET_LABEL, ControlKind::Text, {19, 39, 38, 8}, IDT_TARGET_LABEL},
    {IDC_SOURCE_NAME, ControlKind::Text, {59, 28, 133, 8}, IDT_SOURCE_NAME},
    {IDC_TARGET_NAME, ControlKind::Text, {59, 39, 133, 8}, IDT_TARGET_NAME},
    {IDC_OVERALL_PROGRESS, ControlKind::ProgressBar, {19, 68, 176, 9}, 0},
    {IDC_OVERALL_LABEL, ControlKind::Text, {19, 59, 26, 8}, IDT_OVERALL_LABEL},
};

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDivRound(int a, int b, int c)
{
    long long product = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}   // namespace

const TemplateControl* TemplateControls(std::size_t* count)
{
    if (count != nullptr)
        *count = std::size(kControls);
    return kControls;
}

DialogBaseUnits BaseUnitsFromFont(double widthOf52Letters, int fontHeight)
{
    // Width of an average letter pair, halved and rounded up at .5.
    int pairs = static_cast<int>(widthOf52Letters) / 26;
    int cx = (pairs + 1) / 2;
    return {cx > 0 ? cx : 1, fontHeight > 0 ? fontHeight : 1};
}

DialogRect MapDialogRect(const DialogRect& units, DialogBaseUnits base)
{
    return {MulDivRound(units.x, base.cx, 4), MulDivRound(units.y, base.cy, 8), MulDivRound(units.width, base.cx, 4),
            MulDivRound(units.height, base.cy, 8)};
}

UINT WaitTextId(int zipMode, int fileType)
{
    bool history = fileType == FILE_TYPE_HISTORY;
    if (zipMode == ZIP_MODE_COMPRESS)
        return history ? IDS_WAIT_COMPRESS_HISTORY : IDS_WAIT_COMPRESS_FILE;
    if (zipMode == ZIP_MODE_EXTRACT)
        return history ? IDS_WAIT_EXTRACT_HISTORY : IDS_WAIT_EXTRACT_FILE;
    return 0;
}
