// The Windows front end: the main window, painting and the two dialogs.
// All of it runs on the one thread that enters WinMain.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "engine/board.h"

// The module whose resources (pictures, menu, dialogs, icon) are loaded.
extern HINSTANCE appInstance;

// Whether board pictures can be loaded; while false the board is not drawn.
extern bool pictureAvailable;

// Picture ids by board size, indexed by size - 3. Not in size order.
constexpr int BOARD_SIZE_COUNT = MAX_BOARD - MIN_BOARD + 1;
extern const int bitmapIds[BOARD_SIZE_COUNT];

// The radio button of the committed size, and the choice in the size dialog
// that OK commits and Cancel forgets.
extern constinit int32_t sizeButtonId;
extern int32_t pendingSize;
extern int32_t pendingButtonId;

constexpr const char *WINDOW_CLASS_NAME = "MyWindowClass";
constexpr const char *WINDOW_TITLE = "Glidora";
// The main window's outer size wherever that frame holds the whole board.
constexpr int WINDOW_WIDTH = 312;
constexpr int WINDOW_HEIGHT = 350;
constexpr DWORD MAIN_WINDOW_STYLE = WS_OVERLAPPEDWINDOW;
constexpr DWORD MAIN_WINDOW_EX_STYLE = WS_EX_CLIENTEDGE;

// main: the window class, the main window and its procedure.
bool RegisterMainWindowClass();
HWND CreateMainWindow();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// paint: the picture check at window creation and the paint of the board.
void CheckBoardPicture(HWND window);
void PaintBoard(HWND window);

// dialogs
INT_PTR CALLBACK SizeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Windows calls the procedures through these pointer types. On 32-bit x86 a
// procedure of another calling convention unbalances the stack on each call,
// and a cast where it is registered would hide that from the compiler.
static_assert(std::is_same_v<decltype(&MainWndProc), WNDPROC>);
static_assert(std::is_same_v<decltype(&SizeDlgProc), DLGPROC>);
static_assert(std::is_same_v<decltype(&AboutDlgProc), DLGPROC>);
