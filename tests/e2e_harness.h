// Drives the built glidora.exe under Wine on the X display of the test
// command. The game starts through scripts/wine-run.sh in a prefix that a
// CTest fixture prepares once for the suite (tests/e2e.cmake); input, window
// search and screen reads are X library calls in this process (libxdo and
// XGetImage); the native engine, replaying the same input, predicts the board.
#pragma once

#include "expected.h"
#include "image.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <string>
#include <vector>

// An X window id: Xlib's Window, kept out of this header so that the X
// headers' macros (None, Bool, Status) stay out of the tests.
using WindowId = unsigned long;

struct Point {
    int x = 0;
    int y = 0;
};

struct GameRun {
    pid_t gamePid = -1; // the Wine process that runs glidora.exe
    bool gameEnded = false;
    int gameWaitStatus = 0; // as waitpid reports it, once gameEnded
    WindowId mainWindow = 0;
    // Wine 10 draws a maximised window without a window manager 4 pixels away
    // from where it takes input, so the two origins are kept apart.
    Point boardOrigin; // screen position of client pixel (0, 0) as drawn
    Point inputOrigin; // and where Windows maps mouse input for it
};

void SleepMs(int milliseconds);

// The whole screen of the display, at the size its server reports.
Rect ScreenRect();
// Where the board shows now, on the screen.
Rect BoardRect(const GameRun &run);

// --- The game process ------------------------------------------------------

// Starts the game, finds its window and the start-up board on it; the engine
// is reset to that board.
testing::AssertionResult LaunchGame(GameRun &run);
// Ends the game by its pid, if it still runs, and reaps it.
void EndGame(GameRun &run);
bool GameAlive(GameRun &run);

class GameRunTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(LaunchGame(run));
    }
    void TearDown() override {
        EndGame(run);
    }
    GameRun run;
};

testing::AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode);

// Runs the window text probe for the visible top-level window with exactly
// that caption. Lines: "window\t<caption>\t<owner caption>",
// "client\t<x>\t<y>", then "child\t<class>\t<text>" for each control.
testing::AssertionResult ReadWindowTexts(const std::string &caption,
                                         std::vector<std::string> &lines);

// --- X windows and input ---------------------------------------------------

// Visible windows whose name is exactly `caption`.
std::vector<WindowId> FindWindows(const std::string &caption);
testing::AssertionResult WaitForWindow(const std::string &caption, int timeoutMs, WindowId &window);
testing::AssertionResult WaitForNoWindow(const std::string &caption, int timeoutMs);
testing::AssertionResult WindowGeometry(WindowId window, Rect &geometry);
testing::AssertionResult FocusWindow(WindowId window);

// Presses keys (X key names such as "Left", "alt+g") in order into whichever
// window has the focus, `delayMs` apart.
testing::AssertionResult TypeKeys(const std::vector<std::string> &keys, int delayMs);
// Focuses the window first.
testing::AssertionResult PressKeys(WindowId window, const std::vector<std::string> &keys,
                                   int delayMs = 40);
// A left click at a screen position, and at a client position of the game.
testing::AssertionResult ClickScreen(int x, int y);
testing::AssertionResult ClickClient(const GameRun &run, int clientX, int clientY);
// Alt+G then the item's mnemonic letter, with the main window focused.
testing::AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic);

// --- Screen ----------------------------------------------------------------

testing::AssertionResult CaptureRegion(const Rect &region, Image &image);

// --- Pictures and the engine ----------------------------------------------

// The committed picture for a board of `size` pieces a side.
const Image &BoardPicture(int size);
// The square of that picture at cell (col, row) of the solved board.
Image PictureSquare(int size, int col, int row);
// What the board shows for the engine's current boardSize and tiles.
Image RenderEngineBoard();
// Lays the engine out solved at `size`, as the game does on start and on OK.
void ResetEngine(int size);

// --- The board on screen ---------------------------------------------------

// Finds `expected` inside the main window and stores where it is drawn, and
// where the game takes input for its client area.
testing::AssertionResult LocateBoard(GameRun &run, const Image &expected, int timeoutMs);
// Polls the board until it equals `expected`; on a timeout, saves what was
// shown and what was expected beside the build and names the differing cells.
testing::AssertionResult WaitForBoard(const GameRun &run, const Image &expected, int timeoutMs,
                                      const std::string &label);
// The board equals `expected` now and still after `holdMs`.
testing::AssertionResult BoardHolds(const GameRun &run, const Image &expected, int holdMs,
                                    const std::string &label);

// --- Replaying input on the engine ----------------------------------------

// The X key that makes the game call MoveTile with this direction.
const char *KeyName(int direction);
// Does to the engine what the game does for the arrow key or for a left press
// at a client position; true when the game must then show the win box.
bool ReplayKey(int direction);
bool ReplayClick(int clientX, int clientY);

// --- The win box -----------------------------------------------------------

// Waits for the one win box and checks what it says: owned by the game's
// window, the congratulation text, and an OK button only.
testing::AssertionResult CheckWinBox(WindowId &box);
// Presses `key` in the box and waits until it has gone.
testing::AssertionResult DismissWinBox(WindowId box, const std::string &key);
