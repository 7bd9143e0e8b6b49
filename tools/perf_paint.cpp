// One full paint of the board for each size, against the least a paint must
// do in this design: a paint cycle whose handler loads the same picture once
// and copies it with one 300 x 300 BitBlt. Both are timed the same way, as
// InvalidateRect + UpdateWindow, in alternating samples, so the ratio shows
// what the N x N copies and the rest of PaintBoard add.
//   perf_paint [samples]
#include <cstdio>
#include <cstdlib>

#include "engine/board.h"
#include "perf_common.h"
#include "ui/ui.h"

static const char FLOOR_CLASS_NAME[] = "GlidoraPaintFloor";

static LRESULT CALLBACK FloorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        const HBITMAP picture =
            LoadBitmapA(appInstance, MAKEINTRESOURCEA(bitmapIds[boardSize - MIN_BOARD]));
        PAINTSTRUCT paint;
        const HDC screen = BeginPaint(window, &paint);
        const HDC memory = CreateCompatibleDC(screen);
        const HGDIOBJ previous = SelectObject(memory, picture);
        BitBlt(screen, 0, 0, BOARD_PIXELS, BOARD_PIXELS, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
        EndPaint(window, &paint);
        DeleteObject(picture);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A window of the game window's size, beside it, painted by the floor handler.
static HWND CreateFloorWindow(HWND game) {
    RECT frame;
    GetWindowRect(game, &frame);
    if (!RegisterPlainClass(appInstance, FloorWndProc, FLOOR_CLASS_NAME)) {
        return nullptr;
    }
    const int width = frame.right - frame.left;
    return CreateWindowExA(WS_EX_CLIENTEDGE, FLOOR_CLASS_NAME, "Paint floor", WS_OVERLAPPEDWINDOW,
                           width, 0, width, frame.bottom - frame.top, nullptr, nullptr, appInstance,
                           nullptr);
}

static double TimePaintCycle(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    const double start = NowMicroseconds();
    UpdateWindow(window);
    GdiFlush();
    return NowMicroseconds() - start;
}

static void MeasureSize(HWND game, HWND floor, int size, int samples) {
    boardSize = size;
    ResetBoard();
    std::vector<double> paints;
    std::vector<double> floors;
    for (int i = 0; i < samples; ++i) {
        paints.push_back(TimePaintCycle(game));
        floors.push_back(TimePaintCycle(floor));
    }
    const double paint = Median(paints);
    const double least = Median(floors);
    std::printf("paint %dx%d %.1f us, floor paint (one load, one BitBlt) %.1f us, ratio %.2f "
                "(median of %d)\n",
                size, size, paint, least, paint / least, samples);
}

int main(int argc, char **argv) {
    const int samples = argc > 1 ? std::atoi(argv[1]) : 1000;
    appInstance = GetModuleHandleA(nullptr);
    if (!RegisterMainWindowClass()) {
        return 1;
    }
    const HWND game = CreateMainWindow();
    if (game == nullptr || !pictureAvailable) {
        return 1;
    }
    const HWND floor = CreateFloorWindow(game);
    if (floor == nullptr) {
        return 1;
    }
    SetWindowPos(game, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetWindowPos(floor, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    UpdateWindow(game);
    UpdateWindow(floor);
    for (int size = MIN_BOARD; size <= MAX_BOARD; ++size) {
        MeasureSize(game, floor, size, samples);
    }
    DestroyWindow(floor);
    DestroyWindow(game);
    return 0;
}
