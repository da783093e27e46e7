// The control of template 102 with an id, or null.
#pragma once

#include "app/DialogTemplate.h"

inline const TemplateControl* FindTemplateControl(int id)
{
    std::size_t count = 0;
    const TemplateControl* controls = TemplateControls(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (controls[i].id == id)
            return &controls[i];
    return nullptr;
}
