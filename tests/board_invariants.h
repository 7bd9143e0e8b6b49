// The rules every reachable board obeys, checked by the property tests, the
// fuzzer and the message-abuse test alike; a copy of the board that the tests
// compare with or put back; and what such a board must show.
#pragma once

#include <iosfwd>
#include <string>

#include "engine/board.h"
#include "image.h"

struct BoardState {
    Tile tiles[MAX_BOARD][MAX_BOARD];
    int32_t boardSize;
    int32_t blankCol;
    int32_t blankRow;
};

BoardState CaptureBoard();
void RestoreBoard(const BoardState &state);
bool operator==(const BoardState &a, const BoardState &b);
// How GoogleTest shows a board in a failure: size, gap and each piece's home.
void PrintTo(const BoardState &state, std::ostream *out);

// What `board` shows when cut from `picture`: each cell the square that its
// piece's home names, on the picture's own grid rather than by the game's
// arithmetic. A picture of the wrong size comes back as it is.
Image RenderBoard(const Image &picture, const BoardState &board);

// Empty when the board is consistent; otherwise what is wrong with it.
std::string BoardInvariantViolation();
