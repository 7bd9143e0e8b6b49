#include "repaint_counter.h"

int repaintRequests;
WindowHandle lastRepaintWindow;

void RequestRepaint(WindowHandle window) {
    ++repaintRequests;
    lastRepaintWindow = window;
}
