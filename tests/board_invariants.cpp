#include "board_invariants.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "engine/board.h"
#include "expected.h"

BoardState CaptureBoard() {
    BoardState state;
    std::memcpy(state.tiles, tiles, sizeof tiles);
    state.boardSize = boardSize;
    state.blankCol = blankCol;
    state.blankRow = blankRow;
    return state;
}

void RestoreBoard(const BoardState &state) {
    std::memcpy(tiles, state.tiles, sizeof tiles);
    boardSize = state.boardSize;
    blankCol = state.blankCol;
    blankRow = state.blankRow;
}

bool operator==(const BoardState &a, const BoardState &b) {
    return std::memcmp(a.tiles, b.tiles, sizeof a.tiles) == 0 && a.boardSize == b.boardSize &&
           a.blankCol == b.blankCol && a.blankRow == b.blankRow;
}

void PrintTo(const BoardState &state, std::ostream *out) {
    *out << "size " << state.boardSize << ", gap (" << state.blankCol << ", " << state.blankRow
         << "), homes by row:";
    const int size = std::clamp(state.boardSize, 1, MAX_BOARD);
    for (int row = 0; row < size; ++row) {
        *out << " |";
        for (int col = 0; col < size; ++col) {
            *out << ' ' << state.tiles[col][row].homeCol << state.tiles[col][row].homeRow;
        }
    }
}

Image RenderBoard(const Image &picture, const BoardState &board) {
    const int size = board.boardSize;
    if (picture.width != expected::BOARD_EDGE || picture.height != expected::BOARD_EDGE ||
        size < 1 || size > MAX_BOARD) {
        return picture;
    }
    const int edge = expected::BOARD_EDGE / size;
    Image shown = picture;
    for (int col = 0; col < size; ++col) {
        for (int row = 0; row < size; ++row) {
            const Tile &piece = board.tiles[col][row];
            for (int y = 0; y < edge; ++y) {
                const auto from = picture.pixels.begin() +
                                  (piece.homeRow * edge + y) * picture.width + piece.homeCol * edge;
                std::copy_n(from, edge,
                            shown.pixels.begin() + (row * edge + y) * shown.width + col * edge);
            }
        }
    }
    return shown;
}

static std::string Cell(int col, int row) {
    // Formatted by hand: GCC 12 warns falsely about operator+ on strings at -O3.
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d)", col, row);
    return text;
}

static std::string PieceViolation(int col, int row, bool seen[MAX_BOARD][MAX_BOARD]) {
    const Tile &tile = tiles[col][row];
    if (tile.homeCol < 0 || tile.homeCol >= boardSize || tile.homeRow < 0 ||
        tile.homeRow >= boardSize) {
        return "piece at " + Cell(col, row) + " has a home off the board";
    }
    if (seen[tile.homeCol][tile.homeRow]) {
        return "piece of home " + Cell(tile.homeCol, tile.homeRow) + " stands twice";
    }
    seen[tile.homeCol][tile.homeRow] = true;
    if (tile.srcX != tile.homeCol * expected::BOARD_EDGE / boardSize ||
        tile.srcY != tile.homeRow * expected::BOARD_EDGE / boardSize) {
        return "picture square of the piece at " + Cell(col, row) + " does not follow its home";
    }
    return "";
}

// A board reached by sliding has an even permutation once the gap's distance
// from its home is counted in; a corrupting swap breaks that.
static bool ParityIsReachable() {
    const int count = boardSize * boardSize;
    int order[MAX_BOARD * MAX_BOARD];
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            order[row * boardSize + col] =
                tiles[col][row].homeRow * boardSize + tiles[col][row].homeCol;
        }
    }
    int inversions = 0;
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            inversions += order[i] > order[j] ? 1 : 0;
        }
    }
    const int gapDistance = (boardSize - 1 - blankCol) + (boardSize - 1 - blankRow);
    return (inversions + gapDistance) % 2 == 0;
}

std::string BoardInvariantViolation() {
    if (boardSize < expected::SMALLEST_SIZE || boardSize > expected::LARGEST_SIZE) {
        return "board size " + std::to_string(boardSize) + " out of range";
    }
    if (blankCol < 0 || blankCol >= boardSize || blankRow < 0 || blankRow >= boardSize) {
        return "gap " + Cell(blankCol, blankRow) + " off the board";
    }
    const Tile &gap = tiles[blankCol][blankRow];
    if (gap.homeCol != boardSize - 1 || gap.homeRow != boardSize - 1) {
        return "gap cell " + Cell(blankCol, blankRow) + " holds piece of home " +
               Cell(gap.homeCol, gap.homeRow);
    }
    bool seen[MAX_BOARD][MAX_BOARD] = {};
    for (int col = 0; col < boardSize; ++col) {
        for (int row = 0; row < boardSize; ++row) {
            const std::string why = PieceViolation(col, row, seen);
            if (!why.empty()) {
                return why;
            }
        }
    }
    if (!ParityIsReachable()) {
        return "arrangement cannot be reached by sliding";
    }
    return "";
}
