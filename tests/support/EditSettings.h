#pragma once

#include "engine/stream/CDJDataMan.h"

// Changes a controller's settings the way the shell does: copy the value,
// change the copy, apply it.
template <typename Change> void EditSettings(CDJDataMan& controller, Change change)
{
    controller.EditSettings(change);
}
