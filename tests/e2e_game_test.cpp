// The real game under Wine, played through X input only: every expectation
// is the committed picture itself or the native engine replaying the same
// input, and what the game says is read from its windows.
#include "board_invariants.h"
#include "e2e_harness.h"

#include "engine/board.h"

#include <ctime>

namespace {

constexpr int SHOW_MS = 5000;
// How long something that must not happen is given to happen anyway.
constexpr int QUIET_MS = 500;
constexpr int EXIT_MS = 20000;
// The close box, half the button in from the frame's top-right corner.
constexpr int CLOSE_BOX_FROM_RIGHT = 14;
constexpr int CLOSE_BOX_FROM_TOP = 12;

class GameTest : public GameRunTest {};

testing::AssertionResult NoWinBox() {
    SleepMs(QUIET_MS);
    if (!FindWindows(expected::WIN_CAPTION).empty()) {
        return testing::AssertionFailure() << "a win box appeared that the engine does not predict";
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult PressArrow(const GameRun &run, int direction, const std::string &label) {
    if (testing::AssertionResult pressed = PressKeys(run.mainWindow, {KeyName(direction)});
        !pressed) {
        return pressed;
    }
    if (ReplayKey(direction)) {
        return testing::AssertionFailure() << label << ": the replay expects a win here";
    }
    return WaitForBoard(run, RenderEngineBoard(), SHOW_MS, label);
}

testing::AssertionResult OpenDialog(const GameRun &run, const std::string &mnemonic,
                                    const std::string &caption, WindowId &dialog) {
    if (testing::AssertionResult chosen = ChooseMenuItem(run, mnemonic); !chosen) {
        return chosen;
    }
    return WaitForWindow(caption, SHOW_MS, dialog);
}

std::time_t fixedSeconds;

std::time_t FixedClock() {
    return fixedSeconds;
}

TEST_F(GameTest, StartsOnThePictureAndArrowsMoveTheRightPieces) {
    // The start-up board is the 4 x 4 picture itself, pixel for pixel.
    const int size = expected::START_SIZE;
    EXPECT_TRUE(BoardHolds(run, BoardPicture(size), SHOW_MS, QUIET_MS, "start"));
    EXPECT_TRUE(FindWindows(expected::WIN_CAPTION).empty());

    ASSERT_TRUE(PressArrow(run, MoveRight, "Right"));
    Image shown;
    ASSERT_TRUE(CaptureRegion(BoardRect(run), shown));
    // The gap's plain square now sits left of the 15, read straight from the
    // picture rather than from the engine.
    const int edge = expected::BOARD_EDGE / size;
    const Rect gapCell{2 * edge, 3 * edge, edge, edge};
    const Rect lastCell{3 * edge, 3 * edge, edge, edge};
    EXPECT_EQ(ImageDifference(Crop(shown, gapCell), Crop(BoardPicture(size), lastCell)), "");
    EXPECT_EQ(ImageDifference(Crop(shown, lastCell), Crop(BoardPicture(size), gapCell)), "");
    EXPECT_TRUE(NoWinBox());

    // Each arrow moves the piece on the matching side of the gap; the four
    // together leave a three-piece cycle, not a solved board.
    ASSERT_TRUE(PressArrow(run, MoveDown, "Right Down"));
    ASSERT_TRUE(PressArrow(run, MoveLeft, "Right Down Left"));
    ASSERT_TRUE(PressArrow(run, MoveUp, "Right Down Left Up"));
    EXPECT_TRUE(NoWinBox());
    EXPECT_TRUE(GameAlive(run));
}

TEST_F(GameTest, ClicksSlideWholeRunsAndTheWinBoxGoesByKeyboard) {
    // A press on the far left of the gap's row slides the three pieces right.
    ASSERT_TRUE(ClickClient(run, 10, 230));
    ASSERT_FALSE(ReplayClick(10, 230));
    ASSERT_EQ(blankCol, 0);
    ASSERT_TRUE(WaitForBoard(run, RenderEngineBoard(), SHOW_MS, "row slide"));
    EXPECT_TRUE(NoWinBox());

    // Then the gap's column, from its top cell.
    ASSERT_TRUE(ClickClient(run, 40, 5));
    ASSERT_FALSE(ReplayClick(40, 5));
    ASSERT_EQ(blankRow, 0);
    ASSERT_TRUE(WaitForBoard(run, RenderEngineBoard(), SHOW_MS, "column slide"));
    EXPECT_TRUE(NoWinBox());

    // Sliding both runs back solves the board: the last press wins.
    ASSERT_TRUE(ClickClient(run, 74, 299));
    ASSERT_FALSE(ReplayClick(74, 299));
    ASSERT_TRUE(WaitForBoard(run, RenderEngineBoard(), SHOW_MS, "column back"));
    ASSERT_TRUE(ClickClient(run, 225, 225));
    ASSERT_TRUE(ReplayClick(225, 225));
    WindowId box = 0;
    ASSERT_TRUE(CheckWinBox(box));
    EXPECT_TRUE(
        WaitForBoard(run, BoardPicture(expected::START_SIZE), SHOW_MS, "solved under the box"));
    ASSERT_TRUE(DismissWinBox(box, "Return"));

    // A press on the gap of the solved board moves nothing and wins again.
    ASSERT_TRUE(ClickClient(run, 299, 299));
    ASSERT_TRUE(ReplayClick(299, 299));
    ASSERT_TRUE(CheckWinBox(box));
    ASSERT_TRUE(DismissWinBox(box, "space"));

    // Play goes on after the box.
    ASSERT_TRUE(PressArrow(run, MoveDown, "Down after the box"));
    EXPECT_TRUE(NoWinBox());
}

TEST_F(GameTest, SizeDialogOkTakesTheSizeAndCancelForgetsTheChoice) {
    // Alt+6 picks the largest size.
    const int largest = expected::LARGEST_SIZE;
    WindowId dialog = 0;
    ASSERT_TRUE(OpenDialog(run, "s", expected::SIZE_CAPTION, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+6", "alt+o"}));
    ASSERT_TRUE(WaitForNoWindow(expected::SIZE_CAPTION, SHOW_MS));
    ResetEngine(largest);
    ASSERT_TRUE(WaitForBoard(run, BoardPicture(largest), SHOW_MS, "6x6 after OK"));

    // A moved board shows whether Cancel and Esc leave everything alone.
    ASSERT_TRUE(PressArrow(run, MoveRight, "6x6 Right"));
    const Image moved = RenderEngineBoard();
    ASSERT_TRUE(OpenDialog(run, "s", expected::SIZE_CAPTION, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+3", "alt+c"}));
    ASSERT_TRUE(WaitForNoWindow(expected::SIZE_CAPTION, SHOW_MS));
    EXPECT_TRUE(BoardHolds(run, moved, SHOW_MS, QUIET_MS, "after Cancel"));
    ASSERT_TRUE(OpenDialog(run, "s", expected::SIZE_CAPTION, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+5", "Escape"}));
    ASSERT_TRUE(WaitForNoWindow(expected::SIZE_CAPTION, SHOW_MS));
    EXPECT_TRUE(BoardHolds(run, moved, SHOW_MS, QUIET_MS, "after Esc"));

    // OK with no new choice: the committed 6 x 6, laid out solved again.
    ASSERT_TRUE(OpenDialog(run, "s", expected::SIZE_CAPTION, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+o"}));
    ASSERT_TRUE(WaitForNoWindow(expected::SIZE_CAPTION, SHOW_MS));
    ResetEngine(largest);
    EXPECT_TRUE(WaitForBoard(run, BoardPicture(largest), SHOW_MS, "6x6 after plain OK"));
    EXPECT_TRUE(NoWinBox());
}

TEST_F(GameTest, AboutBoxIgnoresEscapeAndClosesWithOk) {
    ASSERT_TRUE(PressArrow(run, MoveRight, "Right"));
    const Image moved = RenderEngineBoard();

    WindowId about = 0;
    ASSERT_TRUE(OpenDialog(run, "a", expected::ABOUT_CAPTION, about));
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadWindowTexts(expected::ABOUT_CAPTION, lines));
    EXPECT_TRUE(HasLine(lines, std::string("window\t") + expected::ABOUT_CAPTION + "\t" +
                                   expected::WINDOW_TITLE));
    EXPECT_TRUE(HasLine(lines, std::string("child\tStatic\t") + expected::ABOUT_AUTHOR));
    EXPECT_TRUE(HasLine(lines, std::string("child\tStatic\t") + expected::ABOUT_DATE));
    EXPECT_TRUE(HasLine(lines, std::string("child\tButton\t") + expected::OK_TEXT));

    ASSERT_TRUE(PressKeys(about, {"Escape"}));
    SleepMs(QUIET_MS * 2);
    EXPECT_EQ(FindWindows(expected::ABOUT_CAPTION).size(), 1u) << "Esc closed the About box";
    ASSERT_TRUE(PressKeys(about, {"alt+o"}));
    ASSERT_TRUE(WaitForNoWindow(expected::ABOUT_CAPTION, SHOW_MS));
    EXPECT_TRUE(BoardHolds(run, moved, SHOW_MS, QUIET_MS, "after About"));

    ASSERT_TRUE(OpenDialog(run, "a", expected::ABOUT_CAPTION, about));
    ASSERT_TRUE(PressKeys(about, {"Return"}));
    ASSERT_TRUE(WaitForNoWindow(expected::ABOUT_CAPTION, SHOW_MS));
    ASSERT_TRUE(PressArrow(run, MoveDown, "Down after About"));
}

TEST_F(GameTest, NewScramblesTheShownBoardWithTheClockAsSeed) {
    // Start from a board that is not the solved one: New must not reset.
    ASSERT_TRUE(PressArrow(run, MoveRight, "Right"));
    ASSERT_TRUE(PressArrow(run, MoveDown, "Right Down"));
    const BoardState before = CaptureBoard();
    const Image unscrambled = RenderEngineBoard();

    const std::time_t beforeSending = std::time(nullptr);
    ASSERT_TRUE(ChooseMenuItem(run, "n"));
    const std::time_t afterSending = std::time(nullptr);

    struct Candidate {
        std::time_t seed;
        Image board;
    };
    std::vector<Candidate> candidates;
    const CalendarClock realClock = shuffleClock;
    shuffleClock = FixedClock;
    for (std::time_t seed = beforeSending - 1; seed <= afterSending + 1; ++seed) {
        RestoreBoard(before);
        fixedSeconds = seed;
        Shuffle(nullptr);
        candidates.push_back({seed, RenderEngineBoard()});
        EXPECT_NE(candidates.back().board, unscrambled)
            << "seed " << seed << " would leave the board as it was";
    }
    shuffleClock = realClock;

    Image shown;
    int matched = -1;
    for (int attempt = 0; attempt < SHOW_MS / 50 && matched < 0; ++attempt) {
        ASSERT_TRUE(CaptureRegion(BoardRect(run), shown));
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (shown == candidates[i].board) {
                matched = static_cast<int>(i);
            }
        }
        if (matched < 0) {
            SleepMs(50);
        }
    }
    ASSERT_GE(matched, 0) << "the scrambled board matches no seed from " << beforeSending - 1
                          << " to " << afterSending + 1;
    RestoreBoard(before);
    fixedSeconds = candidates[static_cast<size_t>(matched)].seed;
    shuffleClock = FixedClock;
    Shuffle(nullptr);
    shuffleClock = realClock;
    EXPECT_TRUE(BoardHolds(run, RenderEngineBoard(), SHOW_MS, QUIET_MS, "after New"));
    EXPECT_TRUE(NoWinBox());

    // The scrambled board plays on from where the engine says it is.
    const int direction = blankCol > 0 ? MoveRight : MoveLeft;
    ASSERT_TRUE(PressKeys(run.mainWindow, {KeyName(direction)}));
    const bool win = ReplayKey(direction);
    ASSERT_FALSE(win);
    EXPECT_TRUE(WaitForBoard(run, RenderEngineBoard(), SHOW_MS, "move after New"));
}

TEST_F(GameTest, ExitCommandEndsTheProcessWithCodeZero) {
    ASSERT_TRUE(ChooseMenuItem(run, "x"));
    EXPECT_TRUE(WaitForGameExit(run, EXIT_MS, 0));
    EXPECT_TRUE(FindWindows(expected::WINDOW_TITLE).empty());
}

TEST_F(GameTest, CloseBoxEndsTheProcessWithCodeZero) {
    // The prefix lets Wine draw the frame itself, so the close box is on the
    // screen, in the top-right corner of the caption, and a press on it goes
    // through Wine's own non-client handling, as on Windows: SC_CLOSE and then
    // WM_CLOSE.
    Rect window;
    ASSERT_TRUE(WindowGeometry(run.mainWindow, window));
    ASSERT_TRUE(
        ClickScreen(window.x + window.width - CLOSE_BOX_FROM_RIGHT, window.y + CLOSE_BOX_FROM_TOP));
    EXPECT_TRUE(WaitForGameExit(run, EXIT_MS, 0));
    EXPECT_TRUE(FindWindows(expected::WINDOW_TITLE).empty());
}

} // namespace
