#include "ui.h"

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

HWND CreateMainWindow() {
    // A fixed outer size: the board fits whatever frame the system draws.
    return CreateWindowExA(WS_EX_CLIENTEDGE, WINDOW_CLASS_NAME, WINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_WIDTH, WINDOW_HEIGHT, nullptr,
                           nullptr, appInstance, nullptr);
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
