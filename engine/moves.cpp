// The two compound moves, both made only of MoveTile calls, so every
// arrangement they produce stays solvable.
#include "board.h"
#include "random.h"

constexpr int DIRECTION_COUNT = 4;

int32_t clickX;
int32_t clickY;

// A 32-bit clock fails or wraps from 2038-01-19 on, and every scramble
// would then be the same one.
static_assert(sizeof(std::time_t) >= sizeof(int64_t), "the calendar clock must count in 64 bits");

static std::time_t SystemCalendarClock() {
    return std::time(nullptr);
}

CalendarClock shuffleClock = SystemCalendarClock;

// Slides pieces one at a time until the gap's coordinate `blank` (a reference
// to blankCol or blankRow, which MoveTile advances) reaches `target`. Callers
// guarantee the target lies on the board, so the loop ends.
static void SlideGapTo(const int32_t &blank, int32_t target, Direction towardHigher,
                       Direction towardLower) {
    const Direction direction = target > blank ? towardHigher : towardLower;
    while (blank != target) {
        MoveTile(direction);
    }
}

bool ClickMove() {
    const int32_t cellEdge = BOARD_PIXELS / boardSize;
    const int32_t col = clickX / cellEdge;
    const int32_t row = clickY / cellEdge;
    // A window resized larger than the board delivers presses beyond it; the
    // gap could never reach such a cell, so they count as presses elsewhere.
    if (clickX < 0 || clickY < 0 || col >= boardSize || row >= boardSize) {
        return false;
    }
    if (col == blankCol) {
        SlideGapTo(blankRow, row, MoveUp, MoveDown);
        return true;
    }
    if (row == blankRow) {
        SlideGapTo(blankCol, col, MoveLeft, MoveRight);
        return true;
    }
    return false;
}

void Shuffle(WindowHandle window) {
    // Taken modulo 2^32 by the conversion; the clock is read on every call, so
    // two scrambles within one second apply the same directions.
    SeedRandom(static_cast<uint32_t>(shuffleClock()));
    for (int move = 0; move < SHUFFLE_MOVES; ++move) {
        MoveTile(NextRandom() % DIRECTION_COUNT);
        RequestRepaint(window);
    }
}
