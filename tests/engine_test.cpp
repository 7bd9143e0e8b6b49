#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "board_invariants.h"
#include "engine/board.h"
#include "engine/random.h"
#include "expected.h"
#include "repaint_counter.h"

namespace {

void ResetAtSize(int size) {
    boardSize = size;
    ResetBoard();
}

bool PressAt(int x, int y) {
    clickX = x;
    clickY = y;
    return ClickMove();
}

std::time_t fixedClockSeconds;
std::time_t FixedClock() {
    return fixedClockSeconds;
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedClock = shuffleClock;
        repaintRequests = 0;
        ResetAtSize(START_BOARD_SIZE);
    }
    void TearDown() override {
        shuffleClock = savedClock;
        ResetAtSize(START_BOARD_SIZE);
    }
    CalendarClock savedClock = nullptr;
};

class EachSize : public EngineTest, public ::testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(Sizes, EachSize, ::testing::Values(3, 4, 5, 6));

TEST_P(EachSize, ResetLaysOutEveryEntrySolvedForTheSize) {
    const int n = GetParam();
    ResetAtSize(n);
    for (int col = 0; col < MAX_BOARD; ++col) {
        for (int row = 0; row < MAX_BOARD; ++row) {
            const Tile &tile = tiles[col][row];
            EXPECT_EQ(tile.srcX, col * expected::BOARD_EDGE / n) << col << "," << row;
            EXPECT_EQ(tile.srcY, row * expected::BOARD_EDGE / n) << col << "," << row;
            EXPECT_EQ(tile.homeCol, col);
            EXPECT_EQ(tile.homeRow, row);
        }
    }
    EXPECT_EQ(blankCol, n - 1);
    EXPECT_EQ(blankRow, n - 1);
    EXPECT_TRUE(IsSolved());
    EXPECT_EQ(BoardInvariantViolation(), "");
}

TEST_P(EachSize, MovesAgainstTheEdgeChangeNothingButAnswerTrue) {
    ResetAtSize(GetParam());
    const BoardState before = CaptureBoard();
    EXPECT_TRUE(MoveTile(MoveLeft));
    EXPECT_TRUE(MoveTile(MoveUp));
    EXPECT_EQ(before, CaptureBoard());
    EXPECT_TRUE(IsSolved());
}

TEST_P(EachSize, RightThenLeftLeavesAndRestoresTheSolvedBoard) {
    const int n = GetParam();
    ResetAtSize(n);
    const BoardState solved = CaptureBoard();
    ASSERT_TRUE(MoveTile(MoveRight));
    EXPECT_EQ(blankCol, n - 2);
    EXPECT_EQ(blankRow, n - 1);
    EXPECT_EQ(tiles[n - 1][n - 1].homeCol, n - 2);
    EXPECT_EQ(tiles[n - 1][n - 1].homeRow, n - 1);
    EXPECT_EQ(tiles[n - 2][n - 1].homeCol, n - 1);
    EXPECT_FALSE(IsSolved());
    ASSERT_TRUE(MoveTile(MoveLeft));
    EXPECT_EQ(solved, CaptureBoard());
    EXPECT_TRUE(IsSolved());
}

TEST_P(EachSize, DownThenUpMovesTheGapAlongItsColumn) {
    const int n = GetParam();
    ResetAtSize(n);
    ASSERT_TRUE(MoveTile(MoveDown));
    EXPECT_EQ(blankCol, n - 1);
    EXPECT_EQ(blankRow, n - 2);
    EXPECT_EQ(tiles[n - 1][n - 1].homeRow, n - 2);
    EXPECT_FALSE(IsSolved());
    ASSERT_TRUE(MoveTile(MoveUp));
    EXPECT_TRUE(IsSolved());
}

TEST_P(EachSize, GapWalksToEveryCornerAndStopsThere) {
    const int n = GetParam();
    ResetAtSize(n);
    for (int i = 0; i < n + 2; ++i) {
        MoveTile(MoveRight);
        MoveTile(MoveDown);
    }
    EXPECT_EQ(blankCol, 0);
    EXPECT_EQ(blankRow, 0);
    EXPECT_EQ(BoardInvariantViolation(), "");
    for (int i = 0; i < n + 2; ++i) {
        MoveTile(MoveLeft);
    }
    EXPECT_EQ(blankCol, n - 1);
    EXPECT_EQ(blankRow, 0);
}

TEST_P(EachSize, PressesOnTheBoardEdgeBelongToTheCellRightOrBelow) {
    const int n = GetParam();
    ResetAtSize(n);
    const int edge = expected::BOARD_EDGE / n;
    // Bottom row, the pixel where column 1 starts: the gap slides to column 1.
    EXPECT_TRUE(PressAt(edge, expected::BOARD_EDGE - 1));
    EXPECT_EQ(blankCol, 1);
    EXPECT_EQ(blankRow, n - 1);
    // One pixel left of it is column 0.
    EXPECT_TRUE(PressAt(edge - 1, expected::BOARD_EDGE - 1));
    EXPECT_EQ(blankCol, 0);
    // The top pixel of the gap's own cell moves nothing.
    EXPECT_TRUE(PressAt(edge - 1, edge * (n - 1)));
    EXPECT_EQ(blankRow, n - 1);
    // The last pixel of the board is the last cell.
    EXPECT_TRUE(PressAt(expected::BOARD_EDGE - 1, expected::BOARD_EDGE - 1));
    EXPECT_EQ(blankCol, n - 1);
    EXPECT_TRUE(IsSolved());
}

TEST_F(EngineTest, ResetForFourAndThreeComputesDocumentedEntries) {
    ResetAtSize(4);
    const Tile expected{150, 75, 2, 1};
    EXPECT_EQ(std::memcmp(&tiles[2][1], &expected, sizeof expected), 0);
    ResetAtSize(3);
    EXPECT_EQ(tiles[5][0].srcX, 500);
    EXPECT_EQ(tiles[5][0].homeCol, 5);
}

TEST_F(EngineTest, UnknownDirectionCodesAnswerFalseAndChangeNothing) {
    MoveTile(MoveRight);
    const BoardState before = CaptureBoard();
    for (int code : {4, -1, 5, 100, INT_MAX, INT_MIN}) {
        EXPECT_FALSE(MoveTile(code)) << code;
    }
    EXPECT_EQ(before, CaptureBoard());
}

TEST_F(EngineTest, IsSolvedComparesHomesOnly) {
    tiles[0][0].srcX = 123; // picture position is not part of the test
    EXPECT_TRUE(IsSolved());
    ResetBoard();
    // Two pieces of one column exchanged: only their rows differ.
    std::swap(tiles[0][0], tiles[0][1]);
    EXPECT_FALSE(IsSolved());
    std::swap(tiles[0][0], tiles[0][1]);
    // Two pieces of one row exchanged: only their columns differ.
    std::swap(tiles[1][2], tiles[2][2]);
    EXPECT_FALSE(IsSolved());
}

TEST_F(EngineTest, IsSolvedLooksOnlyAtTheCellsInPlay) {
    ResetAtSize(3);
    std::swap(tiles[4][4], tiles[5][5]);
    EXPECT_TRUE(IsSolved());
}

TEST_F(EngineTest, PressInTheGapsRowSlidesTheWholeRun) {
    const BoardState solved = CaptureBoard();
    EXPECT_TRUE(PressAt(10, 230));
    EXPECT_EQ(blankCol, 0);
    EXPECT_EQ(blankRow, 3);
    for (int col = 1; col < 4; ++col) {
        EXPECT_EQ(tiles[col][3].homeCol, col - 1);
        EXPECT_EQ(tiles[col][3].homeRow, 3);
    }
    EXPECT_EQ(std::memcmp(tiles[0], solved.tiles[0], 3 * sizeof(Tile)), 0)
        << "the pieces above the row must not move";
}

TEST_F(EngineTest, PressInTheGapsColumnSlidesTheWholeRun) {
    EXPECT_TRUE(PressAt(230, 10));
    EXPECT_EQ(blankCol, 3);
    EXPECT_EQ(blankRow, 0);
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(tiles[3][row].homeRow, row - 1);
    }
    // And back down again: the column test runs first and slides upward.
    EXPECT_TRUE(PressAt(230, 299));
    EXPECT_TRUE(IsSolved());
}

TEST_F(EngineTest, PressOnTheGapOrDiagonalMovesNothing) {
    const BoardState solved = CaptureBoard();
    EXPECT_TRUE(PressAt(299, 299));
    EXPECT_EQ(solved, CaptureBoard());
    EXPECT_FALSE(PressAt(0, 0));
    EXPECT_FALSE(PressAt(150, 150));
    EXPECT_EQ(solved, CaptureBoard());
}

TEST_F(EngineTest, PressesBeyondTheBoardEndAndMoveNothing) {
    const BoardState solved = CaptureBoard();
    // In the gap's row or column but off the board: the gap can never get there.
    EXPECT_FALSE(PressAt(300, 299));
    EXPECT_FALSE(PressAt(299, 300));
    EXPECT_FALSE(PressAt(65535, 299));
    EXPECT_FALSE(PressAt(299, 65535));
    EXPECT_FALSE(PressAt(65535, 65535));
    EXPECT_EQ(solved, CaptureBoard());
    // With six columns of 50 pixels, 300 is already off the board too.
    ResetAtSize(6);
    EXPECT_FALSE(PressAt(300, 260));
    EXPECT_TRUE(PressAt(299, 260));
}

TEST_F(EngineTest, GeneratorFollowsTheClassicRecurrence) {
    SeedRandom(1);
    for (int expected : {41, 18467, 6334, 26500, 19169}) {
        EXPECT_EQ(NextRandom(), expected);
    }
    SeedRandom(1);
    for (int expected : {MoveRight, MoveDown, MoveUp, MoveLeft, MoveRight}) {
        EXPECT_EQ(NextRandom() % 4, expected);
    }
    // Seeding again restarts the sequence; a large seed wraps in 32 bits.
    SeedRandom(0xFFFFFFFFu);
    const int first = NextRandom();
    SeedRandom(0xFFFFFFFFu);
    EXPECT_EQ(NextRandom(), first);
    EXPECT_GE(first, 0);
    EXPECT_LE(first, RANDOM_MAX);
}

// Plays the directions that the generator draws from `seed`, as Shuffle must.
void ReplayShuffle(uint32_t seed) {
    SeedRandom(seed);
    for (int i = 0; i < expected::SHUFFLE_MOVES; ++i) {
        MoveTile(NextRandom() % 4);
    }
}

TEST_F(EngineTest, ShuffleDrawsItsDirectionsFromTheClockSeed) {
    shuffleClock = FixedClock;
    for (std::time_t seconds : {std::time_t{1}, std::time_t{1733650000}}) {
        fixedClockSeconds = seconds;
        MoveTile(MoveRight); // the scramble starts from whatever is on the board
        const BoardState start = CaptureBoard();
        Shuffle(nullptr);
        const BoardState shuffled = CaptureBoard();
        RestoreBoard(start);
        ReplayShuffle(static_cast<uint32_t>(seconds));
        EXPECT_EQ(shuffled, CaptureBoard()) << seconds;
        EXPECT_FALSE(IsSolved());
        EXPECT_EQ(BoardInvariantViolation(), "");
        ResetBoard();
    }
}

TEST_F(EngineTest, ShuffleSeedIsTheClockModulo2To32) {
    ASSERT_EQ(sizeof(std::time_t), sizeof(int64_t)) << "a 32-bit clock wraps in 2038";
    shuffleClock = FixedClock;
    fixedClockSeconds = static_cast<std::time_t>((int64_t{1} << 32) + 7);
    Shuffle(nullptr);
    const BoardState wrapped = CaptureBoard();
    ResetBoard();
    ReplayShuffle(7);
    EXPECT_EQ(wrapped, CaptureBoard());
}

TEST_F(EngineTest, ShuffleRequestsOneRepaintOfTheGivenWindowPerMove) {
    shuffleClock = FixedClock;
    fixedClockSeconds = 42;
    int window = 0;
    Shuffle(&window);
    EXPECT_EQ(repaintRequests, expected::SHUFFLE_MOVES);
    EXPECT_EQ(lastRepaintWindow, static_cast<WindowHandle>(&window));
}

TEST_F(EngineTest, TwoShufflesInOneSecondApplyTheSameDirections) {
    shuffleClock = FixedClock;
    fixedClockSeconds = 1733650001;
    Shuffle(nullptr);
    Shuffle(nullptr);
    const BoardState twice = CaptureBoard();
    ResetBoard();
    ReplayShuffle(1733650001);
    ReplayShuffle(1733650001);
    EXPECT_EQ(twice, CaptureBoard());
}

TEST_F(EngineTest, ShuffleReadsTheRealClockByDefault) {
    shuffleClock = savedClock;
    const std::time_t before = std::time(nullptr);
    Shuffle(nullptr);
    const std::time_t after = std::time(nullptr);
    const BoardState shuffled = CaptureBoard();
    bool matched = false;
    for (std::time_t seconds = before; seconds <= after && !matched; ++seconds) {
        ResetBoard();
        ReplayShuffle(static_cast<uint32_t>(seconds));
        matched = shuffled == CaptureBoard();
    }
    EXPECT_TRUE(matched);
}

// Long random sessions of every operation, with the invariants checked after
// each step. Arbitrary integers reach MoveTile and any 16-bit press position
// reaches ClickMove, as the window procedure can deliver them.
TEST_F(EngineTest, RandomSessionsKeepEveryInvariant) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> anyInt(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> position(0, 65535);
    std::uniform_int_distribution<int> onBoard(0, expected::BOARD_EDGE - 1);
    std::uniform_int_distribution<int> size(expected::SMALLEST_SIZE, expected::LARGEST_SIZE);
    shuffleClock = FixedClock;
    for (int step = 0; step < 200000; ++step) {
        const int op = static_cast<int>(rng() % 100);
        if (op < 45) {
            MoveTile(op < 40 ? static_cast<int>(rng() % 4) : anyInt(rng));
        } else if (op < 70) {
            PressAt(onBoard(rng), onBoard(rng));
        } else if (op < 95) {
            PressAt(position(rng), position(rng));
        } else if (op < 97) {
            fixedClockSeconds = anyInt(rng);
            Shuffle(nullptr);
        } else {
            ResetAtSize(size(rng));
            ASSERT_TRUE(IsSolved());
        }
        const std::string why = BoardInvariantViolation();
        ASSERT_EQ(why, "") << "after step " << step << " (operation " << op << ")";
    }
}

TEST_F(EngineTest, InvariantCheckRejectsCorruptedBoards) {
    // The checker guards every other property test, so it must notice damage.
    std::swap(tiles[0][0], tiles[1][0]);
    EXPECT_NE(BoardInvariantViolation(), "") << "odd permutation";
    ResetBoard();
    tiles[1][1] = tiles[2][2];
    EXPECT_NE(BoardInvariantViolation(), "") << "duplicated piece";
    ResetBoard();
    tiles[1][1].srcY += 1;
    EXPECT_NE(BoardInvariantViolation(), "") << "picture square off its home";
    ResetBoard();
    blankCol = 0;
    EXPECT_NE(BoardInvariantViolation(), "") << "gap position lost";
}

} // namespace
