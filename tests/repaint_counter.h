// A RequestRepaint for programs that link the engine without a window: it
// records the requests so tests can count them.
#pragma once

#include "engine/platform.h"

extern int repaintRequests;
extern WindowHandle lastRepaintWindow;
