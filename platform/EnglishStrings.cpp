// The English texts built into the program, looked up by id.
#include "platform/StringIds.h"

namespace {

struct EnglishEntry {
    UINT id;
    const char* text;
};

constexpr EnglishEntry kEnglish[] = {
#define TAMBLE_STRING_ENTRY(name, number, text) {number, text},
    TAMBLE_STRINGS(TAMBLE_STRING_ENTRY)
#undef TAMBLE_STRING_ENTRY
};

// Two entries with one number would hide the second text.
constexpr bool IdsAreUnique()
{
    for (const EnglishEntry& a : kEnglish)
        for (const EnglishEntry& b : kEnglish)
            if (&a != &b && a.id == b.id)
                return false;
    return true;
}
static_assert(IdsAreUnique(), "two texts in TAMBLE_STRINGS share a number");

}   // namespace

const char* EnglishString(UINT id)
{
    for (const EnglishEntry& entry : kEnglish)
        if (entry.id == id)
            return entry.text;
    return nullptr;
}
