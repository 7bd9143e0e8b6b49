// Drives the built glidora.exe under Wine on the test command's X display:
// the game starts through scripts/wine-run.sh in the prefix that a CTest
// fixture prepares for the suite (tests/e2e.cmake); windows, input and pixels
// go through libxdo and Xlib in process; the engine replays the same input.
#pragma once

#include "expected.h"
#include "image.h"

#include <gtest/gtest.h>

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
    int gamePid = -1; // the Wine process that runs glidora.exe
    bool gameEnded = false;
    int gameWaitStatus = 0; // as waitpid reports it, once gameEnded
    WindowId mainWindow = 0;
    // Apart: Wine 10 draws a maximised unmanaged window 4 pixels off its input.
    Point boardOrigin; // screen position of client pixel (0, 0) as drawn
    Point inputOrigin; // and where Windows maps mouse input for it
};

// Around each test: empties its folder of failure pictures, e2e-failures/<Suite>.<Test>/
// in the build, resets the engine, starts the game (Wine's output in e2e-logs/), finds
// its window and start-up board; afterwards kills the game, if it runs, and reaps it.
class GameRunTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    GameRun run;
};

bool GameAlive(GameRun &run);
AssertionResult WaitForGameExit(GameRun &run, int timeoutMs, int expectedExitCode);
void SleepMs(int milliseconds);

// The window text probe's lines on the visible top-level window of that caption:
// "window\t<caption>\t<owner's>", "client\t<x>\t<y>", "child\t<class>\t<text>"...
AssertionResult ReadWindowTexts(const std::string &caption, std::vector<std::string> &lines);
bool HasLine(const std::vector<std::string> &lines, const std::string &wanted);

// Visible X windows named `caption`. A wait gives up at once when the game ends.
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

// The committed picture for a board `size` pieces wide; what the board shows
// for the engine's boardSize and tiles; the engine laid out solved at `size`,
// as the game does on start and on OK.
const Image &BoardPicture(int size);
Image RenderEngineBoard();
void ResetEngine(int size);

// Finds `wanted` drawn on the screen and sets boardOrigin; ReadInputOrigin
// asks Windows where the client area takes input and sets inputOrigin.
AssertionResult LocateBoard(GameRun &run, const Image &wanted, int timeoutMs);
AssertionResult ReadInputOrigin(GameRun &run);
// Polls the board until it equals `wanted`. Else the failure names the first
// pixel that differs, and both pictures go to the test's folder, numbered.
AssertionResult WaitForBoard(const GameRun &run, const Image &wanted, int timeoutMs,
                             const std::string &label);
// The board comes to equal `wanted` within `showMs` and still does after
// `holdMs`. The wait matters after a window closes: the game repaints what
// that window covered only when Wine passes it the exposure.
AssertionResult BoardHolds(const GameRun &run, const Image &wanted, int showMs, int holdMs,
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
