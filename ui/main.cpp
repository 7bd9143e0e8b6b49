#include "ui.h"

#include <algorithm>

#include "engine/board.h"
#include "res/resource.h"

HINSTANCE appInstance;

static const char ICON_NAME[] = "IDI_ICON1";
static const char MENU_NAME[] = "MYMENU";
static const char ERROR_CAPTION[] = "Error!";
static const UINT STARTUP_ERROR_STYLE = MB_ICONEXCLAMATION | MB_OK | MB_SYSTEMMODAL;

bool RegisterMainWindowClass() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    // No CS_DBLCLKS: a double click arrives as two ordinary presses.
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconA(appInstance, ICON_NAME);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MENU_NAME;
    windowClass.lpszClassName = WINDOW_CLASS_NAME;
    windowClass.hIconSm = LoadIconA(appInstance, ICON_NAME);
    return RegisterClassExA(&windowClass) != 0;
}

// 312 x 350 leaves exactly the board as client area on the classic frame.
// Thicker frames (Windows 10 and 11: taller caption and menu, padded border)
// would cut off the right column and the bottom row, so there the window
// grows by just what the system says the frame takes.
static SIZE MainWindowSize() {
    RECT needed = {0, 0, BOARD_PIXELS, BOARD_PIXELS};
    AdjustWindowRectEx(&needed, MAIN_WINDOW_STYLE, TRUE, MAIN_WINDOW_EX_STYLE);
    return {std::max<LONG>(WINDOW_WIDTH, needed.right - needed.left),
            std::max<LONG>(WINDOW_HEIGHT, needed.bottom - needed.top)};
}

HWND CreateMainWindow() {
    const SIZE size = MainWindowSize();
    return CreateWindowExA(MAIN_WINDOW_EX_STYLE, WINDOW_CLASS_NAME, WINDOW_TITLE, MAIN_WINDOW_STYLE,
                           CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                           appInstance, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showState) {
    appInstance = instance;
    if (!RegisterMainWindowClass()) {
        MessageBoxA(nullptr, "Window Registration Failed!", ERROR_CAPTION, STARTUP_ERROR_STYLE);
        return 0;
    }
    const HWND window = CreateMainWindow();
    if (window == nullptr) {
        MessageBoxA(nullptr, "Window Creation Failed!", ERROR_CAPTION, STARTUP_ERROR_STYLE);
        return 0;
    }
    ShowWindow(window, showState);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

static void AnnounceIfSolved(HWND window) {
    if (IsSolved()) {
        MessageBoxA(window, "Congratulations, you won!", "Good job!", MB_OK);
    }
}

static void OnKeyDown(HWND window, WPARAM key) {
    Direction direction;
    switch (key) {
    case VK_LEFT:
        direction = MoveLeft;
        break;
    case VK_UP:
        direction = MoveUp;
        break;
    case VK_RIGHT:
        direction = MoveRight;
        break;
    case VK_DOWN:
        direction = MoveDown;
        break;
    default:
        return;
    }
    if (MoveTile(direction)) {
        InvalidateRect(window, nullptr, FALSE);
    }
    // Also when nothing moved: an arrow on a solved board announces it again.
    AnnounceIfSolved(window);
}

static void OnLeftButtonDown(HWND window, LPARAM position) {
    clickX = LOWORD(position);
    clickY = HIWORD(position);
    if (!ClickMove()) {
        return;
    }
    InvalidateRect(window, nullptr, FALSE);
    AnnounceIfSolved(window);
}

static void OnCommand(HWND window, WORD command) {
    switch (command) {
    case IDM_NEW:
        Shuffle(window);
        break;
    case IDM_SIZE:
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_SIZE), window, SizeDlgProc, 0);
        // Whatever the outcome, the board may have a new size or layout.
        InvalidateRect(window, nullptr, TRUE);
        break;
    case IDM_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case IDM_ABOUT:
        DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDlgProc, 0);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CheckBoardPicture(window);
        ResetBoard();
        return 0;
    case WM_PAINT:
        PaintBoard(window);
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(window, wParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(window, lParam);
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
