#include "ui.h"

#include "engine/board.h"
#include "res/resource.h"

constinit int32_t sizeButtonId = IDC_SIZE4;
// Copies made at start-up. boardSize and sizeButtonId are constant-initialised,
// so these read the start-up values whatever order the files initialise in.
int32_t pendingSize = boardSize;
int32_t pendingButtonId = sizeButtonId;

static void CheckSizeButton(HWND dialog, int buttonId) {
    CheckRadioButton(dialog, IDC_SIZE3, IDC_SIZE6, buttonId);
}

// A size change tests the 3 x 3 picture, whatever the new size, and reports
// nothing: a missing picture only stops the board being drawn.
static bool SmallPictureLoads() {
    const HBITMAP picture = LoadBitmapA(appInstance, MAKEINTRESOURCEA(IDB_BOARD3));
    if (picture == nullptr) {
        return false;
    }
    DeleteObject(picture);
    return true;
}

static void CommitSize(HWND dialog) {
    EndDialog(dialog, IDOK);
    if (boardSize != pendingSize) {
        boardSize = pendingSize;
        sizeButtonId = pendingButtonId;
        pictureAvailable = SmallPictureLoads();
    }
    // Always: OK restarts the puzzle solved, also at the same size.
    ResetBoard();
}

static void ForgetChoice(HWND dialog) {
    EndDialog(dialog, IDCANCEL);
    pendingButtonId = sizeButtonId;
    pendingSize = boardSize;
}

static INT_PTR OnSizeCommand(HWND dialog, WORD command) {
    switch (command) {
    case IDC_SIZE3:
    case IDC_SIZE4:
    case IDC_SIZE5:
    case IDC_SIZE6:
        CheckSizeButton(dialog, command);
        pendingButtonId = command;
        pendingSize = MIN_BOARD + (command - IDC_SIZE3);
        // Acted on, yet reported as not handled.
        return FALSE;
    case IDOK:
        CommitSize(dialog);
        return TRUE;
    case IDCANCEL:
        ForgetChoice(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SizeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckSizeButton(dialog, sizeButtonId);
        return TRUE;
    case WM_COMMAND:
        return OnSizeCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // Only OK closes the box; Esc (IDCANCEL) is ignored.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
