// Timings of the engine's operations, without the platform's repaint cost:
// the repaint seam here only counts.
#include <benchmark/benchmark.h>

#include "engine/board.h"

static long repaintRequests;

void RequestRepaint(WindowHandle) {
    ++repaintRequests;
}

static std::time_t FixedClock() {
    return 1733650000;
}

static void LayOut(int size) {
    boardSize = size;
    ResetBoard();
}

static void MoveTileCycle(benchmark::State &state) {
    LayOut(START_BOARD_SIZE);
    int direction = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MoveTile(direction));
        direction = (direction + 1) & 3;
    }
}
BENCHMARK(MoveTileCycle)->Name("MoveTile");

// Presses at the centre of every cell of a 6 x 6 board in turn: runs in the
// gap's row or column slide, the rest are rejected.
static void ClickMoveAcrossBoard(benchmark::State &state) {
    LayOut(MAX_BOARD);
    const int edge = BOARD_PIXELS / MAX_BOARD;
    int cell = 0;
    for (auto _ : state) {
        clickX = (cell % MAX_BOARD) * edge + edge / 2;
        clickY = (cell / MAX_BOARD) * edge + edge / 2;
        benchmark::DoNotOptimize(ClickMove());
        cell = (cell + 7) % (MAX_BOARD * MAX_BOARD);
    }
}
BENCHMARK(ClickMoveAcrossBoard)->Name("ClickMove");

// A solved board is the worst case: every cell is compared.
static void IsSolvedSolved6(benchmark::State &state) {
    LayOut(MAX_BOARD);
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsSolved());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(IsSolvedSolved6)->Name("IsSolved6x6");

static void ShuffleOnce(benchmark::State &state) {
    LayOut(START_BOARD_SIZE);
    shuffleClock = FixedClock;
    repaintRequests = 0;
    for (auto _ : state) {
        Shuffle(nullptr);
        benchmark::ClobberMemory();
    }
    if (repaintRequests != static_cast<long>(state.iterations()) * SHUFFLE_MOVES) {
        state.SkipWithError("the repaint seam was not called once per move");
    }
}
BENCHMARK(ShuffleOnce)->Name("Shuffle")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
