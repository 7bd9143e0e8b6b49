// Drives the built glidora.exe under Wine on the test command's X display:
// the game starts through scripts/wine-run.sh in the prefix that a CTest
// fixture prepares for the suite (tests/e2e.cmake); windows, input and pixels
// go through libxdo and Xlib in process; the engine replays the same input.
#pragma once

#include "expected.h"
#include "image.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <string>
#include <vector>

using testing::AssertionResult;

// An X window: Xlib's Window, whose header's macros stay out of the tests.
using WindowId = unsigned long;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point &) const = default;
};

struct GameRun {
    pid_t gamePid = -1; // the Wine process that runs glidora.exe
    bool gameEnded = false;
    int gameWaitStatus = 0; // as waitpid reports it, once gameEnded
    WindowId mainWindow = 0;
    // Apart: Wine 10 draws a maximised unmanaged window 4 pixels off its input.
    Point boardOrigin; // screen position of client pixel (0, 0) as drawn
    Point inputOrigin; // and where Windows maps mouse input for it
};

// Starts the game, finds its window and the start-up board, to which the
// engine is reset. EndGame ends the game by its pid, if it runs, and reaps it.
AssertionResult LaunchGame(GameRun &run);
void EndGame(GameRun &run);

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

bool GameAlive(GameRun &run);
AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode);
void SleepMs(int milliseconds);

// The window text probe's lines on the visible top-level window of that caption:
// "window\t<caption>\t<owner's>", "client\t<x>\t<y>", "child\t<class>\t<text>"...
AssertionResult ReadWindowTexts(const std::string &caption, std::vector<std::string> &lines);
bool HasLine(const std::vector<std::string> &lines, const std::string &wanted);

// Visible X windows named `caption`.
std::vector<WindowId> FindWindows(const std::string &caption);
AssertionResult WaitForWindow(const std::string &caption, int timeoutMs, WindowId &window);
AssertionResult WaitForNoWindow(const std::string &caption, int timeoutMs);
AssertionResult WindowGeometry(WindowId window, Rect &geometry);
AssertionResult FocusWindow(WindowId window);

// X key names ("Left", "alt+g") pressed in order, `delayMs` apart, into the
// focused window; PressKeys focuses `window` first.
AssertionResult TypeKeys(const std::vector<std::string> &keys, int delayMs);
AssertionResult PressKeys(WindowId window, const std::vector<std::string> &keys, int delayMs = 40);
// A left click at a screen position, or at a client position of the game.
AssertionResult ClickScreen(int x, int y);
AssertionResult ClickClient(const GameRun &run, int clientX, int clientY);
// Alt+G, then the item's mnemonic letter, into the main window.
AssertionResult ChooseMenuItem(const GameRun &run, const std::string &mnemonic);

// The display's whole screen, the board's place on it, and what shows there.
Rect ScreenRect();
Rect BoardRect(const GameRun &run);
AssertionResult CaptureRegion(const Rect &region, Image &image);

// The committed picture for a board `size` pieces wide, and its square at a cell.
const Image &BoardPicture(int size);
Image PictureSquare(int size, int col, int row);
// What the board shows for the engine's boardSize and tiles.
Image RenderEngineBoard();
// Lays the engine out solved at `size`, as the game does on start and on OK.
void ResetEngine(int size);

// Finds `wanted` in the main window, and where the game takes input there.
AssertionResult LocateBoard(GameRun &run, const Image &wanted, int timeoutMs);
// Polls the board until it equals `wanted`; else saves both pictures by the build.
AssertionResult WaitForBoard(const GameRun &run, const Image &wanted, int timeoutMs,
                             const std::string &label);
// The board equals `wanted` now and still after `holdMs`.
AssertionResult BoardHolds(const GameRun &run, const Image &wanted, int holdMs,
                           const std::string &label);

// The X key that makes the game call MoveTile with this direction.
const char *KeyName(int direction);
// Does to the engine what the game does for the key or a left press at a client
// position; true when the game must then show the win box.
bool ReplayKey(int direction);
bool ReplayClick(int clientX, int clientY);

// Waits for the one win box and checks it: owned by the game's window, the
// congratulation, one OK button. DismissWinBox presses `key`; the box must go.
AssertionResult CheckWinBox(WindowId &box);
AssertionResult DismissWinBox(WindowId box, const std::string &key);
