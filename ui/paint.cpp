#include "ui.h"

#include "engine/board.h"
#include "res/resource.h"

bool pictureAvailable;
const int bitmapIds[BOARD_SIZE_COUNT] = {IDB_BOARD3, IDB_BOARD4, IDB_BOARD5, IDB_BOARD6};

static HBITMAP LoadBoardPicture(int id) {
    return LoadBitmapA(appInstance, MAKEINTRESOURCEA(id));
}

void CheckBoardPicture(HWND window) {
    const HBITMAP picture = LoadBoardPicture(IDB_BOARD4);
    if (picture == nullptr) {
        MessageBoxA(window, "Could not load board Bitmap", "Error", MB_ICONEXCLAMATION | MB_OK);
        pictureAvailable = false;
        return;
    }
    pictureAvailable = true;
    DeleteObject(picture);
}

// Copies each cell's picture square, as `tiles` names it, to the screen.
static void DrawCells(HDC target, HDC picture) {
    const int edge = BOARD_PIXELS / boardSize;
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            BitBlt(target, CellOrigin(col), CellOrigin(row), edge, edge, picture,
                   tiles[col][row].srcX, tiles[col][row].srcY, SRCCOPY);
        }
    }
}

void PaintBoard(HWND window) {
    PAINTSTRUCT paint;
    if (!pictureAvailable) {
        // Nothing to draw, but the paint must still validate the update
        // region, or the system would ask for this paint again at once.
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return;
    }
    const HBITMAP picture = LoadBoardPicture(bitmapIds[boardSize - MIN_BOARD]);
    pictureAvailable = picture != nullptr;

    const HDC screen = BeginPaint(window, &paint);
    const HDC memory = CreateCompatibleDC(screen);
    // A picture that failed to load leaves the cells as they were.
    if (picture != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, picture);
        DrawCells(screen, memory);
        SelectObject(memory, previous);
    }
    DeleteDC(memory);
    EndPaint(window, &paint);
    if (picture != nullptr) {
        DeleteObject(picture);
    }
}

// The engine's repaint request: mark the whole client area, erased first.
// The marks merge into one WM_PAINT once the current message is handled.
void RequestRepaint(WindowHandle window) {
    InvalidateRect(static_cast<HWND>(window), nullptr, TRUE);
}
