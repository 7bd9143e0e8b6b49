// One full paint of the board for each size, against a single 300 x 300
// BitBlt of the same picture to the same window: how much the per-paint
// picture load and the N x N copies cost over the least a paint could do.
//   perf_paint [samples]
#include <cstdio>
#include <cstdlib>

#include "engine/board.h"
#include "perf_common.h"
#include "ui/ui.h"

static double TimeFullPaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    const double start = NowMicroseconds();
    UpdateWindow(window);
    GdiFlush();
    return NowMicroseconds() - start;
}

static double TimeSingleBlit(HDC screen, HDC picture) {
    const double start = NowMicroseconds();
    BitBlt(screen, 0, 0, BOARD_PIXELS, BOARD_PIXELS, picture, 0, 0, SRCCOPY);
    GdiFlush();
    return NowMicroseconds() - start;
}

static void MeasureSize(HWND window, int size, int samples) {
    boardSize = size;
    ResetBoard();
    std::vector<double> paints;
    for (int i = 0; i < samples; ++i) {
        paints.push_back(TimeFullPaint(window));
    }
    const HBITMAP bitmap = LoadBitmapA(appInstance, MAKEINTRESOURCEA(bitmapIds[size - MIN_BOARD]));
    const HDC screen = GetDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    std::vector<double> blits;
    for (int i = 0; i < samples; ++i) {
        blits.push_back(TimeSingleBlit(screen, memory));
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    DeleteObject(bitmap);
    const double paint = Median(paints);
    const double blit = Median(blits);
    std::printf("paint %dx%d %.1f us, single BitBlt %.1f us, ratio %.1f (median of %d)\n", size,
                size, paint, blit, paint / blit, samples);
}

int main(int argc, char **argv) {
    const int samples = argc > 1 ? std::atoi(argv[1]) : 1000;
    appInstance = GetModuleHandleA(nullptr);
    if (!RegisterMainWindowClass()) {
        return 1;
    }
    const HWND window = CreateMainWindow();
    if (window == nullptr || !pictureAvailable) {
        return 1;
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(window);
    for (int size = MIN_BOARD; size <= MAX_BOARD; ++size) {
        MeasureSize(window, size, samples);
    }
    DestroyWindow(window);
    return 0;
}
