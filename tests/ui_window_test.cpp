// The main window procedure fed with real messages: keys, presses, menu
// commands, closing, and the real WinMain around it.
#include "ui_harness.h"

#include <algorithm>
#include <string>

#include "board_invariants.h"
#include "expected.h"
#include "res/resource.h"
#include "ui/ui.h"
#include "windows_environment.h"

namespace {

using expected::START_SIZE;
constexpr UINT EXIT_WAIT_ROUNDS = 60; // of EXIT_WAIT_MS each
constexpr DWORD EXIT_WAIT_MS = 50;

// Whether this run's Wine prefix draws the thicker frame of Windows 10 and 11
// (GLIDORA_FRAME=modern) rather than Wine's classic one.
bool ModernFrame() {
    return EnvironmentValue("GLIDORA_FRAME") == "modern";
}

// The outer size that frames the board exactly as client area, from the
// system's own frame metrics: on each side the sizing frame (dialog frame,
// border and padded border) and the client edge; above, caption and menu.
// The padded border is the one reported to this program, which Windows gives
// as 0 to a program marked older than Vista, whatever the desktop's setting.
SIZE FrameAroundBoard() {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const int frame = metrics.iBorderWidth + GetSystemMetrics(SM_CXPADDEDBORDER);
    const int sides = GetSystemMetrics(SM_CXDLGFRAME) + frame + GetSystemMetrics(SM_CXEDGE);
    const int ends = GetSystemMetrics(SM_CYDLGFRAME) + frame + GetSystemMetrics(SM_CYEDGE);
    const int bars = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU);
    return {expected::BOARD_EDGE + 2 * sides, expected::BOARD_EDGE + 2 * ends + bars};
}

void ExpectWinBox() {
    ExpectMessageBox(expected::WIN_CAPTION, expected::WIN_TEXT, false);
}

// Runs the window's queue the way a message loop would until the quit
// message comes, or gives up after a few seconds.
QuitSeen RunUntilQuit() {
    for (UINT round = 0; round < EXIT_WAIT_ROUNDS; ++round) {
        const QuitSeen quit = PumpFor(EXIT_WAIT_MS);
        if (quit.seen) {
            return quit;
        }
    }
    return QuitSeen{false, 0};
}

// The board left behind by an earlier window must not survive the creation
// of a new one: creation lays it out solved.
class WindowTest : public GameWindowTest {
  protected:
    void BeforeWindowCreated() override {
        RestoreBoard(SolvedBoard(START_SIZE));
        MoveTile(MoveRight);
        MoveTile(MoveDown);
    }
};

TEST_F(WindowTest, StartsWithTheDocumentedSizeSelection) {
    const SizeSelection startup = StartupSelection();
    const int button = expected::START_SIZE_BUTTON_ID;
    const SizeSelection documented = {START_SIZE, button, START_SIZE, button};
    EXPECT_EQ(startup, documented);
}

TEST_F(WindowTest, OpensOnASolvedBoardWithoutAnyBox) {
    EXPECT_EQ(CaptureBoard(), SolvedBoard(START_SIZE));
    EXPECT_TRUE(IsSolved());
    EXPECT_TRUE(pictureAvailable);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WindowTest, HasTheDocumentedClassTitleStylesSizeAndMenu) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExA(appInstance, expected::WINDOW_CLASS, &windowClass));
    EXPECT_EQ(windowClass.style, 0u);
    EXPECT_EQ(windowClass.lpfnWndProc, MainWndProc);
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_EQ(windowClass.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));

    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, expected::WINDOW_TITLE);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(style & WS_CHILD, 0);
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);

    // A second window, unmoved, shows the size the game asks for: on any
    // frame the board exactly as client area; the classic frame's outer size
    // where that holds it, and exactly what the frame needs where it is
    // thicker. The prefix chooses the frame, classic or modern.
    const HWND fresh = CreateMainWindow();
    ASSERT_NE(fresh, nullptr);
    RECT frame;
    RECT client;
    GetWindowRect(fresh, &frame);
    GetClientRect(fresh, &client);
    EXPECT_EQ(client.right, expected::BOARD_EDGE);
    EXPECT_EQ(client.bottom, expected::BOARD_EDGE);
    if (ModernFrame()) {
        EXPECT_GT(frame.right - frame.left, expected::WINDOW_WIDTH);
        EXPECT_GT(frame.bottom - frame.top, expected::WINDOW_HEIGHT);
    } else {
        EXPECT_EQ(frame.right - frame.left, expected::WINDOW_WIDTH);
        EXPECT_EQ(frame.bottom - frame.top, expected::WINDOW_HEIGHT);
    }
    const SIZE needed = FrameAroundBoard();
    EXPECT_EQ(frame.right - frame.left, std::max<LONG>(expected::WINDOW_WIDTH, needed.cx));
    EXPECT_EQ(frame.bottom - frame.top, std::max<LONG>(expected::WINDOW_HEIGHT, needed.cy));
    const HMENU bar = GetMenu(fresh);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    const HMENU game = GetSubMenu(bar, 0);
    ASSERT_NE(game, nullptr);
    const auto &commands = expected::MENU_COMMANDS;
    ASSERT_EQ(GetMenuItemCount(game), static_cast<int>(std::size(commands)));
    for (int item = 0; item < GetMenuItemCount(game); ++item) {
        EXPECT_EQ(GetMenuItemID(game, item), static_cast<UINT>(commands[item].id))
            << "item " << item;
    }
    DestroyWindow(fresh);
    DrainMessages();
}

TEST_F(WindowTest, RightSlidesThePieceLeftOfTheGapAndRedrawsWithoutErase) {
    const BoardState expected = PredictBoard([] { MoveTile(MoveRight); });
    EXPECT_EQ(SendKey(window, VK_RIGHT), 0);
    EXPECT_EQ(CaptureBoard(), expected);
    EXPECT_EQ(blankCol, START_SIZE - 2);
    EXPECT_EQ(blankRow, START_SIZE - 1);
    EXPECT_EQ(tiles[START_SIZE - 1][START_SIZE - 1].homeCol, START_SIZE - 2);
    EXPECT_TRUE(UpdateRegionIsWholeClient(window));
    UpdateWindow(window);
    EXPECT_EQ(Counts().paints, 1);
    EXPECT_EQ(Counts().erases, 0);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WindowTest, LeftAndUpOnTheSolvedBoardAnnounceTheWin) {
    for (WPARAM key : {VK_LEFT, VK_UP}) {
        SCOPED_TRACE(key);
        ExpectWinBox();
        EXPECT_EQ(SendKey(window, key), 0);
        EXPECT_EQ(StepsNotRun(), 0u);
        EXPECT_EQ(CaptureBoard(), SolvedBoard(START_SIZE));
    }
    ASSERT_EQ(SeenBoxes().size(), 2u);
    for (const BoxRecord &box : SeenBoxes()) {
        EXPECT_EQ(box.owner, window) << "the win box belongs to the main window";
        EXPECT_TRUE(box.ownerWhollyInvalid) << "a key asks for a repaint before the box";
    }
}

TEST_F(WindowTest, EveryKeyThatLeavesTheBoardSolvedAnnouncesAgain) {
    struct KeyCase {
        WPARAM key;
        bool announces;
    };
    const KeyCase keys[] = {{VK_RIGHT, false}, {VK_LEFT, true}, {VK_LEFT, true},
                            {VK_DOWN, false},  {VK_UP, true},   {VK_UP, true}};
    int announced = 0;
    for (const KeyCase &keyCase : keys) {
        SCOPED_TRACE(keyCase.key);
        const BoardState expected = PredictBoard([&] { MoveTile(DirectionForKey(keyCase.key)); });
        if (keyCase.announces) {
            ExpectWinBox();
            ++announced;
        }
        EXPECT_EQ(SendKey(window, keyCase.key), 0);
        EXPECT_EQ(CaptureBoard(), expected);
        EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), announced);
    }
}

TEST_F(WindowTest, KeysOtherThanArrowsDoNothingEvenOnASolvedBoard) {
    const WPARAM others[] = {VK_SPACE, VK_RETURN, VK_ESCAPE, VK_HOME, 'A', VK_NUMPAD4, VK_F1};
    for (bool solved : {true, false}) {
        if (!solved) {
            SendKey(window, VK_RIGHT);
        }
        SettleWindow(window);
        const BoardState before = CaptureBoard();
        for (WPARAM key : others) {
            EXPECT_EQ(SendKey(window, key), 0) << key;
        }
        EXPECT_EQ(CaptureBoard(), before);
        EXPECT_FALSE(HasUpdateRegion(window));
    }
    EXPECT_TRUE(SeenBoxes().empty());
}

struct PressCase {
    const char *what;
    bool fromSlidBoard; // after one Right key instead of solved
    int x;
    int y;
};

// Each press is checked against what the engine makes of the same press,
// and announces exactly when it moved pieces (or hit the gap) onto a solved board.
void CheckPress(HWND window, const PressCase &press) {
    SCOPED_TRACE(press.what);
    RestoreBoard(SolvedBoard(START_SIZE));
    if (press.fromSlidBoard) {
        MoveTile(MoveRight);
    }
    SettleWindow(window);
    ForgetSeenBoxes();
    bool inLine = false;
    const BoardState expected = PredictBoard([&] {
        clickX = press.x;
        clickY = press.y;
        inLine = ClickMove();
    });
    const BoardState before = CaptureBoard();
    RestoreBoard(expected);
    const bool announces = inLine && IsSolved();
    RestoreBoard(before);
    if (announces) {
        ExpectWinBox();
    }
    EXPECT_EQ(SendPress(window, press.x, press.y), 0);
    EXPECT_EQ(StepsNotRun(), 0u);
    EXPECT_EQ(clickX, press.x);
    EXPECT_EQ(clickY, press.y);
    EXPECT_EQ(CaptureBoard(), expected);
    EXPECT_EQ(BoxesCaptioned(expected::WIN_CAPTION), announces ? 1 : 0);
    EXPECT_EQ(SeenBoxes().size(), announces ? 1u : 0u);
    if (announces) {
        // The box's own loop paints the window; what counts is that the
        // repaint was asked for before the box showed.
        EXPECT_TRUE(!SeenBoxes().empty() && SeenBoxes()[0].ownerWhollyInvalid);
    } else {
        EXPECT_EQ(UpdateRegionIsWholeClient(window), inLine);
        EXPECT_EQ(HasUpdateRegion(window), inLine);
    }
    EXPECT_EQ(BoardInvariantViolation(), "");
}

TEST_F(WindowTest, PressesFollowTheEngineAndAnnounceOnlyInTheGapsLine) {
    const PressCase presses[] = {
        {"neither row nor column", false, 0, 0},
        {"the gap itself", false, 299, 299},
        {"the gap's row, far end", false, 10, 230},
        {"the gap's column, far end", false, 230, 10},
        {"column boundary belongs to the right", false, 75, 299},
        {"right of the board in the gap's row", false, 400, 299},
        {"below the board in the gap's column", false, 299, 65535},
        {"far right in the gap's row", false, 65535, 299},
        {"back into the gap's old cell", true, 299, 299},
        {"up the gap's column after a slide", true, 160, 0},
        {"diagonal after a slide", true, 299, 0},
    };
    for (const PressCase &press : presses) {
        CheckPress(window, press);
    }
}

TEST_F(WindowTest, DocumentedPressesSlideWholeRuns) {
    EXPECT_EQ(SendPress(window, 10, 230), 0);
    EXPECT_EQ(blankCol, 0);
    EXPECT_EQ(blankRow, 3);
    EXPECT_EQ(tiles[3][3].homeCol, 2);
    EXPECT_EQ(tiles[1][3].homeCol, 0);
    RestoreBoard(SolvedBoard(START_SIZE));
    EXPECT_EQ(SendPress(window, 230, 10), 0);
    EXPECT_EQ(blankCol, 3);
    EXPECT_EQ(blankRow, 0);
    EXPECT_EQ(tiles[3][3].homeRow, 2);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WindowTest, NewScramblesFromTheClockSeedWithOnePaint) {
    UseFixedClock();
    const uint32_t seed = static_cast<uint32_t>(FIXED_CLOCK_SECONDS);
    // Twice: the second scramble starts from the first one's board.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const BoardState expected = ReplayScramble(seed);
        ASSERT_NE(expected, CaptureBoard());
        SettleWindow(window);
        EXPECT_EQ(SendCommand(window, IDM_NEW), 0);
        EXPECT_EQ(CaptureBoard(), expected);
        EXPECT_EQ(BoardInvariantViolation(), "");
        EXPECT_FALSE(IsSolved());
        EXPECT_TRUE(UpdateRegionIsWholeClient(window));
        DrainMessages();
        EXPECT_EQ(Counts().paints, 1);
        EXPECT_EQ(Counts().erases, 1);
    }
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WindowTest, UnknownCommandsReturnZeroAndChangeNothing) {
    SendKey(window, VK_RIGHT);
    SettleWindow(window);
    const BoardState before = CaptureBoard();
    const SizeSelection selection = CurrentSelection();
    // The last one carries IDM_NEW in the notification half: only the low half counts.
    const WPARAM unknown[] = {
        40004, 0, 65535, 40000, 40006, IDOK, IDCANCEL, 1002, MAKEWPARAM(40004, IDM_NEW)};
    for (WPARAM command : unknown) {
        EXPECT_EQ(SendCommand(window, command), 0) << command;
    }
    EXPECT_EQ(CaptureBoard(), before);
    EXPECT_EQ(CurrentSelection(), selection);
    EXPECT_FALSE(HasUpdateRegion(window));
    EXPECT_FALSE(DrainMessages().seen);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(Counts().paints, 0);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WindowTest, CommandsReadOnlyTheLowHalfOfWParam) {
    UseFixedClock();
    const BoardState expected = ReplayScramble(static_cast<uint32_t>(FIXED_CLOCK_SECONDS));
    constexpr WORD FROM_ACCELERATOR = 1;
    EXPECT_EQ(SendCommand(window, MAKEWPARAM(IDM_NEW, FROM_ACCELERATOR)), 0);
    EXPECT_EQ(CaptureBoard(), expected);
}

TEST_F(WindowTest, ExitPostsCloseAndTheLoopEndsWithQuitZero) {
    EXPECT_EQ(SendCommand(window, IDM_EXIT), 0);
    EXPECT_TRUE(IsWindow(window)) << "Exit posts WM_CLOSE rather than closing at once";
    MSG posted;
    ASSERT_TRUE(PeekMessageA(&posted, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    EXPECT_EQ(posted.wParam, 0u);
    EXPECT_EQ(posted.lParam, 0);
    const QuitSeen quit = RunUntilQuit();
    EXPECT_TRUE(quit.seen);
    EXPECT_EQ(quit.code, 0u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, CloseDestroysTheWindowAndPostsQuitZero) {
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    const QuitSeen quit = DrainMessages();
    EXPECT_TRUE(quit.seen);
    EXPECT_EQ(quit.code, 0u);
}

// ---- WinMain ----------------------------------------------------------------

constexpr DWORD DRIVER_PATIENCE_MS = 4000;
constexpr WPARAM GIVE_UP_CODE = 99;
constexpr WPARAM OWN_QUIT_CODE = 7;

// What the ticks that drive a running WinMain do once its window shows.
enum class Ending { ExitCommand, OwnQuit };

struct WinMainDriver {
    Ending ending;
    DWORD start;
    bool done;
    bool sawWindow;
    bool solvedWhenShown;
    std::string title;
};

WinMainDriver driver;

BOOL CALLBACK NoteGameWindow(HWND candidate, LPARAM found) {
    char name[64] = "";
    GetClassNameA(candidate, name, sizeof name);
    if (lstrcmpA(name, WINDOW_CLASS_NAME) == 0) {
        *reinterpret_cast<HWND *>(found) = candidate;
        return FALSE;
    }
    return TRUE;
}

// Only this thread's windows: another program's game window may be open.
HWND FindThreadGameWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), NoteGameWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void DriveWinMain() {
    if (driver.done) {
        return;
    }
    const HWND game = FindThreadGameWindow();
    if (game != nullptr && IsWindowVisible(game)) {
        driver.done = true;
        driver.sawWindow = true;
        driver.solvedWhenShown = IsSolved();
        char title[64] = "";
        GetWindowTextA(game, title, sizeof title);
        driver.title = title;
        if (driver.ending == Ending::ExitCommand) {
            SendMessageA(game, WM_COMMAND, IDM_EXIT, 0);
        } else {
            PostQuitMessage(static_cast<int>(OWN_QUIT_CODE));
        }
        return;
    }
    if (GetTickCount() - driver.start > DRIVER_PATIENCE_MS) {
        driver.done = true;
        PostQuitMessage(static_cast<int>(GIVE_UP_CODE));
    }
}

int RunWinMain(Ending ending) {
    driver = WinMainDriver{ending, GetTickCount(), false, false, false, ""};
    OnEveryTick(DriveWinMain);
    char noArguments[] = "";
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWNORMAL);
    OnEveryTick(nullptr);
    return result;
}

class WinMainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartupSelection();
        StartWatchingBoxes();
        // WinMain registers the class itself.
        UnregisterClassA(WINDOW_CLASS_NAME, GetModuleHandleA(nullptr));
        appInstance = nullptr;
    }
    void TearDown() override {
        const HWND left = FindThreadGameWindow();
        if (left != nullptr) {
            DestroyWindow(left);
        }
        DrainMessages();
        EXPECT_EQ(StepsNotRun(), 0u);
        StopWatchingBoxes();
        RestoreStartupSelection();
    }
};

TEST_F(WinMainTest, RunsTheGameUntilExitAndReturnsZero) {
    EXPECT_EQ(RunWinMain(Ending::ExitCommand), 0);
    EXPECT_TRUE(driver.sawWindow);
    EXPECT_EQ(driver.title, expected::WINDOW_TITLE);
    EXPECT_TRUE(driver.solvedWhenShown);
    EXPECT_EQ(appInstance, GetModuleHandleA(nullptr));
    EXPECT_EQ(FindThreadGameWindow(), nullptr);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WinMainTest, ReturnsTheCodeOfTheQuitMessage) {
    EXPECT_EQ(RunWinMain(Ending::OwnQuit), static_cast<int>(OWN_QUIT_CODE));
    EXPECT_TRUE(driver.sawWindow);
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(WinMainTest, ReportsAClassThatCannotBeRegisteredAndReturnsZero) {
    appInstance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass());
    ExpectMessageBox(expected::REGISTRATION_ERROR_CAPTION, expected::REGISTRATION_ERROR_TEXT, true);
    EXPECT_EQ(RunWinMain(Ending::ExitCommand), 0);
    EXPECT_FALSE(driver.sawWindow);
    ASSERT_EQ(SeenBoxes().size(), 1u);
    EXPECT_EQ(SeenBoxes()[0].owner, nullptr);
    EXPECT_NE(SeenBoxes()[0].exStyle & WS_EX_TOPMOST, 0) << "system modal boxes stay on top";
}

} // namespace
