// Drives the engine with arbitrary operation sequences and checks the board
// after every step. Each operation is one byte naming it, followed by the
// bytes it needs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board_invariants.h"
#include "engine/board.h"

namespace {

enum Operation : uint8_t { OpMove, OpPress, OpShuffle, OpResize, OpCount };

struct Input {
    const uint8_t *data;
    size_t size;
};

uint32_t Take(Input &input, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes && input.size > 0; ++i) {
        value = value << 8 | *input.data;
        ++input.data;
        --input.size;
    }
    return value;
}

std::time_t fuzzSeconds;
std::time_t FuzzClock() {
    return fuzzSeconds;
}

void Apply(Input &input) {
    switch (Take(input, 1) % OpCount) {
    case OpMove:
        MoveTile(static_cast<int>(Take(input, 4)));
        break;
    case OpPress:
        clickX = static_cast<int32_t>(Take(input, 2));
        clickY = static_cast<int32_t>(Take(input, 2));
        ClickMove();
        break;
    case OpShuffle:
        fuzzSeconds = static_cast<std::time_t>(Take(input, 4));
        Shuffle(nullptr);
        break;
    case OpResize:
        boardSize = MIN_BOARD + static_cast<int32_t>(Take(input, 1) % (MAX_BOARD - MIN_BOARD + 1));
        ResetBoard();
        if (!IsSolved()) {
            std::fprintf(stderr, "a reset board is not solved\n");
            std::abort();
        }
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    shuffleClock = FuzzClock;
    boardSize = START_BOARD_SIZE;
    ResetBoard();
    Input input{data, size};
    while (input.size > 0) {
        Apply(input);
        const std::string why = BoardInvariantViolation();
        if (!why.empty()) {
            std::fprintf(stderr, "invariant broken: %s\n", why.c_str());
            std::abort();
        }
    }
    return 0;
}
