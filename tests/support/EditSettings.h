#pragma once

#include "engine/stream/CDJDataMan.h"

// Changes a controller's settings the way the shell does: copy the value,
// change the copy, apply it.
template <typename Change> void EditSettings(CDJDataMan& controller, Change change)
{
    DJSettings settings = controller.Settings();
    change(settings);
    controller.ApplySettings(settings);
}
