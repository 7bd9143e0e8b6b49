// The engine's narrow seam to the platform. The engine owns no window and
// includes no Windows header: it passes the window it was given through as an
// opaque handle, and whoever links the engine supplies RequestRepaint (the
// game asks Windows to invalidate the client area; tests count the calls).
#pragma once

#include <ctime>

// An HWND on Windows, carried through untouched.
typedef void *WindowHandle;

// Asks for a repaint of the whole client area of `window`, background erased.
// Defined outside the engine, by the program that links it.
void RequestRepaint(WindowHandle window);

// The calendar clock that seeds Shuffle: whole seconds since 1970 as `time`
// gives them. Tests point it at a fixed clock; the game never changes it.
typedef std::time_t (*CalendarClock)();
extern CalendarClock shuffleClock;
