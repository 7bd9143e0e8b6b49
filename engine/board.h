// The puzzle engine: one board per process, held in globals and changed only
// through ResetBoard and MoveTile (ClickMove and Shuffle are sequences of
// MoveTile calls). No Windows header here; see engine/platform.h for the one
// thing the engine needs from the platform.
#pragma once

#include <cstdint>

#include "platform.h"

constexpr int BOARD_PIXELS = 300; // edge of the board on screen and of every picture
constexpr int MAX_BOARD = 6;      // capacity of the grid in each dimension
constexpr int MIN_BOARD = 3;
constexpr int START_BOARD_SIZE = 4;
constexpr int SHUFFLE_MOVES = 1000;

// One board cell's content. The gap is an ordinary piece: the one whose home
// is the bottom-right cell, drawn from the plain square of the picture.
struct Tile {
    int32_t srcX;    // left pixel of this piece's square in the board picture
    int32_t srcY;    // top pixel of this piece's square in the board picture
    int32_t homeCol; // column in which this piece belongs
    int32_t homeRow; // row in which this piece belongs
};

// Named by the way the moving piece travels; the gap travels the other way.
// The codes are part of the interface: Shuffle draws them as numbers 0 to 3.
enum Direction : int {
    MoveLeft = 0,  // the piece right of the gap
    MoveRight = 1, // the piece left of the gap
    MoveUp = 2,    // the piece below the gap
    MoveDown = 3,  // the piece above the gap
};

extern Tile tiles[MAX_BOARD][MAX_BOARD]; // indexed [col][row]
// Constant-initialised, so code that copies it during dynamic initialisation
// in another file always sees the start-up size.
extern constinit int32_t boardSize;
extern int32_t blankCol;
extern int32_t blankRow;

// Position of the last left-button press in client pixels, 0 to 65535 each.
extern int32_t clickX;
extern int32_t clickY;

// Left or top pixel of the cell at `index` (column or row) for boardSize; the
// cells of a 300-pixel board tile it exactly for every size.
int32_t CellOrigin(int32_t index);

// Lays the board out solved for boardSize, gap bottom right.
void ResetBoard();

// Slides one piece into the gap. True for each of the four direction codes,
// whether or not a piece moved (the gap may be against that edge); false,
// with nothing changed, for any other integer.
bool MoveTile(int direction);

// True when every piece in play stands in its home cell.
bool IsSolved();

// Slides the run of pieces between the pressed cell (clickX, clickY) and the
// gap toward the gap. True when the press fell in the gap's column or row on
// the board, false otherwise (nothing moves then).
bool ClickMove();

// Scrambles the board with SHUFFLE_MOVES random moves seeded from the
// calendar clock, asking for a repaint of `window` after each.
void Shuffle(WindowHandle window);
