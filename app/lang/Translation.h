// Table lookup shared by the language resource libraries.
//
// Each library holds one table of {id, UTF-8 text} and exports TambleResString
// (platform/ResourceAbi.h) over it; ids it leaves out are shown in English.
#pragma once

#include "platform/ResourceAbi.h"
#include "platform/StringIds.h"

#include <cstddef>

namespace {

struct Translation {
    unsigned id;
    const char* text;
};

template <std::size_t N>
const char* FindTranslation(const Translation (&table)[N], unsigned id)
{
    for (const Translation& entry : table)
        if (entry.id == id)
            return entry.text;
    return nullptr;
}

}   // namespace
