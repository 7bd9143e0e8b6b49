#include "board.h"

#include <utility>

Tile tiles[MAX_BOARD][MAX_BOARD];
constinit int32_t boardSize = START_BOARD_SIZE;
int32_t blankCol;
int32_t blankRow;

// Multiplied before dividing, so that no rounding gap opens at the far edge.
int32_t CellOrigin(int32_t index) {
    return index * BOARD_PIXELS / boardSize;
}

void ResetBoard() {
    // Every entry, also those beyond the board in play, so the whole grid is
    // defined whatever the size.
    for (int32_t col = 0; col < MAX_BOARD; ++col) {
        for (int32_t row = 0; row < MAX_BOARD; ++row) {
            tiles[col][row] = Tile{CellOrigin(col), CellOrigin(row), col, row};
        }
    }
    blankCol = boardSize - 1;
    blankRow = boardSize - 1;
}

// Moves the gap by (dCol, dRow) by exchanging it with its neighbour there.
static void SwapGapWith(int32_t dCol, int32_t dRow) {
    std::swap(tiles[blankCol][blankRow], tiles[blankCol + dCol][blankRow + dRow]);
    blankCol += dCol;
    blankRow += dRow;
}

bool MoveTile(int direction) {
    switch (direction) {
    case MoveLeft:
        if (blankCol + 1 != boardSize) {
            SwapGapWith(1, 0);
        }
        return true;
    case MoveRight:
        if (blankCol != 0) {
            SwapGapWith(-1, 0);
        }
        return true;
    case MoveUp:
        if (blankRow + 1 != boardSize) {
            SwapGapWith(0, 1);
        }
        return true;
    case MoveDown:
        if (blankRow != 0) {
            SwapGapWith(0, -1);
        }
        return true;
    default:
        return false;
    }
}

bool IsSolved() {
    for (int32_t col = 0; col < boardSize; ++col) {
        for (int32_t row = 0; row < boardSize; ++row) {
            if (tiles[col][row].homeCol != col || tiles[col][row].homeRow != row) {
                return false;
            }
        }
    }
    return true;
}
