// A long random session played on the real game through X input and replayed
// on the native engine as it is generated. The replay says after which input
// the win box must come up and what the board must show; input goes in
// chunks that end at every predicted win, and each chunk end is checked on
// the screen and in the list of windows.
#include "e2e_harness.h"

#include "engine/board.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr uint64_t SESSION_SEED = 0x61696C6564726F67u;
constexpr int CHUNK_LIMIT = 80;
constexpr int KEY_DELAY_MS = 3;
// A pause after each click, as after each key.
constexpr int CLICK_DELAY_MS = 3;
constexpr int SETTLE_MS = 15000;
// A board that matched is looked at again after this long, so that input
// still on its way cannot pass for a finished chunk.
constexpr int HOLD_MS = 80;
// The walk wanders off to a random depth of moves and then mostly retraces
// them, so that the board comes back to solved, and the box up, now and then.
constexpr int MIN_EXCURSION = 6;
constexpr int EXCURSION_RANGE = 40;
constexpr int BACK_PER_MILLE_WANDERING = 150;
constexpr int BACK_PER_MILLE_RETURNING = 850;
// Desktop presses keep this far from the window and the screen's edges.
constexpr int DESKTOP_MARGIN = 5;
// The maximised client area must reach well beyond the board.
constexpr int MIN_EXTRA_HEIGHT = 100;
constexpr int MAXIMISE_KEY_DELAY_MS = 300;
constexpr int MAXIMISE_POLLS = 100;
constexpr int MAXIMISE_POLL_MS = 50;
constexpr int FINAL_HOLD_MS = 500;

// SplitMix64: the same numbers on every platform and library.
struct Random {
    uint64_t state;
};

uint32_t NextNumber(Random &random) {
    random.state += 0x9E3779B97F4A7C15u;
    uint64_t mixed = random.state;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBu;
    return static_cast<uint32_t>((mixed ^ (mixed >> 31)) >> 32);
}

int Below(Random &random, int bound) {
    return static_cast<int>(NextNumber(random) % static_cast<uint32_t>(bound));
}

enum class ActionKind { Key, Click, DesktopClick };

struct Action {
    ActionKind kind = ActionKind::Key;
    int direction = 0;
    int x = 0; // client coordinates for Click, screen coordinates for DesktopClick
    int y = 0;
    bool win = false; // the replay says the win box follows this action
};

// Where random presses may fall.
struct Area {
    int clientWidth = expected::BOARD_EDGE; // the client area's extent from the board origin
    int clientHeight = expected::BOARD_EDGE;
    bool desktop = false; // also presses on the bare screen beside the window
    Rect window;
    Rect screen;
};

struct Walk {
    std::vector<Action> undo; // reverses each move still on the board, latest last
    bool returning = false;
    int excursion = MIN_EXCURSION;
};

struct Tally {
    int actions = 0;
    int keys = 0;
    int clicks = 0;
    int clicksBeyondBoard = 0;
    int desktopClicks = 0;
    int wins = 0;
    int chunks = 0;
};

Action ClickInCell(Random &random, int col, int row) {
    const int edge = expected::BOARD_EDGE / boardSize;
    Action click;
    click.kind = ActionKind::Click;
    click.x = col * edge + Below(random, edge);
    click.y = row * edge + Below(random, edge);
    return click;
}

Action RandomAction(Random &random, const Area &area) {
    const int roll = Below(random, 100);
    if (area.desktop && roll < 3) {
        // Right of the window, on the root window.
        const int left = area.window.x + area.window.width + DESKTOP_MARGIN;
        Action click;
        click.kind = ActionKind::DesktopClick;
        click.x = left + Below(random, area.screen.width - left - DESKTOP_MARGIN);
        click.y = DESKTOP_MARGIN + Below(random, area.screen.height - 2 * DESKTOP_MARGIN);
        return click;
    }
    if (roll < 50) {
        Action key;
        key.direction = Below(random, 4);
        return key;
    }
    const bool clientBeyondBoard =
        area.clientWidth > expected::BOARD_EDGE || area.clientHeight > expected::BOARD_EDGE;
    if (clientBeyondBoard && Below(random, 100) < 35) {
        Action click;
        click.kind = ActionKind::Click;
        click.x = Below(random, area.clientWidth);
        click.y = Below(random, area.clientHeight);
        return click;
    }
    const int size = boardSize;
    if (Below(random, 100) < 60) {
        // In the gap's row or column, where presses slide runs.
        if (Below(random, 2) == 0) {
            return ClickInCell(random, blankCol, Below(random, size));
        }
        return ClickInCell(random, Below(random, size), blankRow);
    }
    return ClickInCell(random, Below(random, size), Below(random, size));
}

// What the game does with the action, on the engine; true for a win box.
bool Replay(const Action &action) {
    switch (action.kind) {
    case ActionKind::Key:
        return ReplayKey(action.direction);
    case ActionKind::Click:
        return ReplayClick(action.x, action.y);
    case ActionKind::DesktopClick:
        return false;
    }
    return false;
}

Action NextAction(Random &random, Walk &walk, const Area &area) {
    if (!walk.returning && static_cast<int>(walk.undo.size()) >= walk.excursion) {
        walk.returning = true;
    }
    if (walk.returning && walk.undo.empty()) {
        walk.returning = false;
        walk.excursion = MIN_EXCURSION + Below(random, EXCURSION_RANGE);
    }
    const int backPerMille = walk.returning ? BACK_PER_MILLE_RETURNING : BACK_PER_MILLE_WANDERING;
    const bool back = !walk.undo.empty() && Below(random, 1000) < backPerMille;
    Action action;
    if (back) {
        action = walk.undo.back();
        walk.undo.pop_back();
    } else {
        action = RandomAction(random, area);
    }
    const int gapCol = blankCol;
    const int gapRow = blankRow;
    action.win = Replay(action);
    if (!back && (blankCol != gapCol || blankRow != gapRow)) {
        // A press on the old gap's cell slides everything back; a single
        // step can also go back with the opposite arrow.
        Action undo = ClickInCell(random, gapCol, gapRow);
        if (action.kind == ActionKind::Key && Below(random, 2) == 0) {
            undo = Action{};
            undo.direction = action.direction ^ 1;
        }
        walk.undo.push_back(undo);
    }
    return action;
}

// Sends the chunk's input as fast as a quick player would.
testing::AssertionResult SendChunk(const GameRun &run, const std::vector<Action> &chunk) {
    for (const Action &action : chunk) {
        testing::AssertionResult sent = testing::AssertionSuccess();
        if (action.kind == ActionKind::Key) {
            sent = TypeKeys({KeyName(action.direction)}, KEY_DELAY_MS);
        } else if (action.kind == ActionKind::Click) {
            sent = ClickClient(run, action.x, action.y);
            SleepMs(CLICK_DELAY_MS);
        } else {
            sent = ClickScreen(action.x, action.y);
            SleepMs(CLICK_DELAY_MS);
        }
        if (!sent) {
            return sent;
        }
    }
    return testing::AssertionSuccess();
}

void Count(const Action &action, Tally &tally) {
    ++tally.actions;
    tally.wins += action.win ? 1 : 0;
    switch (action.kind) {
    case ActionKind::Key:
        ++tally.keys;
        break;
    case ActionKind::Click:
        ++tally.clicks;
        tally.clicksBeyondBoard +=
            (action.x >= expected::BOARD_EDGE || action.y >= expected::BOARD_EDGE) ? 1 : 0;
        break;
    case ActionKind::DesktopClick:
        ++tally.desktopClicks;
        break;
    }
}

// Plays `count` actions in chunks, checking the screen and the windows at
// every chunk end. Fails at the first difference.
testing::AssertionResult PlayPhase(GameRun &run, Random &random, const Area &area, int count,
                                   const std::string &phase, Tally &tally) {
    Walk walk;
    walk.excursion = MIN_EXCURSION + Below(random, EXCURSION_RANGE);
    int played = 0;
    while (played < count) {
        std::vector<Action> chunk;
        while (played < count && static_cast<int>(chunk.size()) < CHUNK_LIMIT) {
            chunk.push_back(NextAction(random, walk, area));
            ++played;
            Count(chunk.back(), tally);
            if (chunk.back().win) {
                break;
            }
        }
        ++tally.chunks;
        const std::string label = phase + " action " + std::to_string(played);
        if (testing::AssertionResult focused = FocusWindow(run.mainWindow); !focused) {
            return focused << " (" << label << ")";
        }
        if (testing::AssertionResult sent = SendChunk(run, chunk); !sent) {
            return sent << " (" << label << ")";
        }
        const Image predicted = RenderEngineBoard();
        if (chunk.back().win) {
            WindowId box = 0;
            if (testing::AssertionResult shown = CheckWinBox(box); !shown) {
                return shown << " (" << label << ", a win the engine predicts)";
            }
            if (testing::AssertionResult board = WaitForBoard(run, predicted, SETTLE_MS, label);
                !board) {
                return board;
            }
            // Both keys that press the focused OK button take turns.
            const std::string key = tally.wins % 2 == 0 ? "Return" : "space";
            if (testing::AssertionResult dismissed = DismissWinBox(box, key); !dismissed) {
                return dismissed << " (" << label << ")";
            }
        } else {
            if (testing::AssertionResult held =
                    BoardHolds(run, predicted, SETTLE_MS, HOLD_MS, label);
                !held) {
                return held;
            }
            if (!FindWindows(expected::WIN_CAPTION).empty()) {
                return testing::AssertionFailure()
                       << label << ": a win box the engine does not predict";
            }
        }
        if (!GameAlive(run)) {
            return testing::AssertionFailure() << label << ": the game has ended";
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult Maximise(GameRun &run) {
    // The system menu's Maximize item, by keyboard.
    if (testing::AssertionResult pressed =
            PressKeys(run.mainWindow, {"alt+space", "x"}, MAXIMISE_KEY_DELAY_MS);
        !pressed) {
        return pressed;
    }
    const Rect screen = ScreenRect();
    Rect window;
    for (int attempt = 0; attempt < MAXIMISE_POLLS; ++attempt) {
        if (testing::AssertionResult measured = WindowGeometry(run.mainWindow, window); !measured) {
            return measured;
        }
        if (window.width >= screen.width && window.height >= screen.height) {
            if (testing::AssertionResult located = LocateBoard(run, RenderEngineBoard(), SETTLE_MS);
                !located) {
                return located;
            }
            return ReadInputOrigin(run);
        }
        SleepMs(MAXIMISE_POLL_MS);
    }
    return testing::AssertionFailure()
           << "the window did not maximise: " << window.width << "x" << window.height;
}

// The client area beyond the board shows one plain background colour; its
// extent is where that colour ends, to the right and downwards.
testing::AssertionResult MeasureClientArea(const GameRun &run, Area &area) {
    Image screen;
    if (testing::AssertionResult captured = CaptureRegion(ScreenRect(), screen); !captured) {
        return captured;
    }
    const Point board = run.boardOrigin;
    const int edge = expected::BOARD_EDGE;
    const uint32_t background = PixelAt(screen, board.x + edge, board.y);
    int right = board.x + edge;
    while (right < screen.width && PixelAt(screen, right, board.y + 1) == background) {
        ++right;
    }
    int bottom = board.y + edge;
    while (bottom < screen.height && PixelAt(screen, board.x + 1, bottom) == background) {
        ++bottom;
    }
    area.clientWidth = right - board.x;
    area.clientHeight = bottom - board.y;
    if (area.clientWidth < 2 * edge || area.clientHeight < edge + MIN_EXTRA_HEIGHT) {
        return testing::AssertionFailure() << "the maximised client area looks only "
                                           << area.clientWidth << "x" << area.clientHeight;
    }
    return testing::AssertionSuccess();
}

class SessionTest : public GameRunTest {};

TEST_F(SessionTest, RandomKeysAndClicksMatchTheEngineReplay) {
    const auto started = std::chrono::steady_clock::now();
    Random random{SESSION_SEED};
    Tally tally;

    // The window as it opens: presses on the board and beside the window.
    Area normal;
    normal.desktop = true;
    normal.screen = ScreenRect();
    ASSERT_TRUE(WindowGeometry(run.mainWindow, normal.window));
    ASSERT_TRUE(PlayPhase(run, random, normal, 1200, "4x4", tally));

    // Maximised: presses also fall in the client area beyond the board.
    ASSERT_TRUE(Maximise(run));
    Area wide;
    ASSERT_TRUE(MeasureClientArea(run, wide));
    ASSERT_TRUE(PlayPhase(run, random, wide, 1000, "4x4 maximised", tally));

    // A 5 x 5 board, whose cells do not divide the window the same way.
    ASSERT_TRUE(ChooseMenuItem(run, "s"));
    WindowId dialog = 0;
    ASSERT_TRUE(WaitForWindow(expected::SIZE_CAPTION, SETTLE_MS, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+5", "alt+o"}));
    ASSERT_TRUE(WaitForNoWindow(expected::SIZE_CAPTION, SETTLE_MS));
    ResetEngine(5);
    ASSERT_TRUE(WaitForBoard(run, RenderEngineBoard(), SETTLE_MS, "5x5 after OK"));
    ASSERT_TRUE(PlayPhase(run, random, wide, 800, "5x5 maximised", tally));

    // The final picture, once more after a pause.
    EXPECT_TRUE(BoardHolds(run, RenderEngineBoard(), SETTLE_MS, FINAL_HOLD_MS, "final"));
    EXPECT_TRUE(FindWindows(expected::WIN_CAPTION).empty());
    EXPECT_TRUE(GameAlive(run));

    // The session must have exercised what it is meant to.
    EXPECT_GE(tally.actions, 2000);
    EXPECT_GE(tally.wins, 10);
    EXPECT_GE(tally.clicksBeyondBoard, 50);
    EXPECT_GE(tally.desktopClicks, 5);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
            .count();
    std::printf("session: %d actions (%d keys, %d clicks of which %d beyond the board, %d beside "
                "the window), %d wins, %d chunks, %lld s\n",
                tally.actions, tally.keys, tally.clicks, tally.clicksBeyondBoard,
                tally.desktopClicks, tally.wins, tally.chunks, static_cast<long long>(seconds));
}

} // namespace
