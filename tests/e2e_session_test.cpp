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
// xdotool waits 100 ms after each click unless told otherwise.
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
    int clientWidth = BOARD_PIXELS; // the client area's extent from the board origin
    int clientHeight = BOARD_PIXELS;
    bool desktop = false; // also presses on the bare screen beside the window
    Rect window;
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
    const int edge = BOARD_PIXELS / boardSize;
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
        const int left = area.window.x + area.window.width + 5;
        Action click;
        click.kind = ActionKind::DesktopClick;
        click.x = left + Below(random, SCREEN_WIDTH - left - 5);
        click.y = 5 + Below(random, SCREEN_HEIGHT - 10);
        return click;
    }
    if (roll < 50) {
        Action key;
        key.direction = Below(random, 4);
        return key;
    }
    const bool clientBeyondBoard =
        area.clientWidth > BOARD_PIXELS || area.clientHeight > BOARD_PIXELS;
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

std::vector<std::string> XdotoolCommands(const GameRun &run, const std::vector<Action> &chunk) {
    std::vector<std::string> arguments;
    bool inKeys = false;
    for (const Action &action : chunk) {
        if (action.kind == ActionKind::Key) {
            if (!inKeys) {
                arguments.insert(arguments.end(), {"key", "--delay", std::to_string(KEY_DELAY_MS)});
                inKeys = true;
            }
            arguments.push_back(KeyName(action.direction));
            continue;
        }
        inKeys = false;
        const bool onClient = action.kind == ActionKind::Click;
        const int x = onClient ? run.inputOrigin.x + action.x : action.x;
        const int y = onClient ? run.inputOrigin.y + action.y : action.y;
        arguments.insert(arguments.end(),
                         {"mousemove", std::to_string(x), std::to_string(y), "click", "--delay",
                          std::to_string(CLICK_DELAY_MS), "1"});
    }
    return arguments;
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
        tally.clicksBeyondBoard += (action.x >= BOARD_PIXELS || action.y >= BOARD_PIXELS) ? 1 : 0;
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
        if (testing::AssertionResult sent = Xdotool(XdotoolCommands(run, chunk)); !sent) {
            return sent << " (" << label << ")";
        }
        const Image expected = RenderEngineBoard();
        if (chunk.back().win) {
            std::string box;
            if (testing::AssertionResult shown = CheckWinBox(box); !shown) {
                return shown << " (" << label << ", a win the engine predicts)";
            }
            if (testing::AssertionResult board = WaitForBoard(run, expected, SETTLE_MS, label);
                !board) {
                return board;
            }
            // Both keys that press the focused OK button take turns.
            const std::string key = tally.wins % 2 == 0 ? "Return" : "space";
            if (testing::AssertionResult dismissed = DismissWinBox(box, key); !dismissed) {
                return dismissed << " (" << label << ")";
            }
        } else {
            if (testing::AssertionResult board = WaitForBoard(run, expected, SETTLE_MS, label);
                !board) {
                return board;
            }
            if (testing::AssertionResult held = BoardHolds(run, expected, HOLD_MS, label); !held) {
                return held;
            }
            if (!FindWindows("^Good job!$").empty()) {
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
    if (testing::AssertionResult pressed = PressKeys(run.mainWindow, {"alt+space", "x"}, 300);
        !pressed) {
        return pressed;
    }
    Rect window;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (testing::AssertionResult measured = WindowGeometry(run.mainWindow, window); !measured) {
            return measured;
        }
        if (window.width >= SCREEN_WIDTH && window.height >= SCREEN_HEIGHT) {
            return LocateBoard(run, RenderEngineBoard(), SETTLE_MS);
        }
        SleepMs(50);
    }
    return testing::AssertionFailure()
           << "the window did not maximise: " << window.width << "x" << window.height;
}

// The client area beyond the board shows one plain background colour; its
// extent is where that colour ends, to the right and downwards.
testing::AssertionResult MeasureClientArea(const GameRun &run, Area &area) {
    Image screen;
    if (testing::AssertionResult captured = CaptureScreen(screen); !captured) {
        return captured;
    }
    const auto pixel = [&screen](int x, int y) {
        const size_t at = (static_cast<size_t>(y) * screen.width + x) * 3;
        return (screen.rgb[at] << 16) | (screen.rgb[at + 1] << 8) | screen.rgb[at + 2];
    };
    const int background = pixel(run.boardOrigin.x + BOARD_PIXELS, run.boardOrigin.y);
    int right = run.boardOrigin.x + BOARD_PIXELS;
    while (right < screen.width && pixel(right, run.boardOrigin.y + 1) == background) {
        ++right;
    }
    int bottom = run.boardOrigin.y + BOARD_PIXELS;
    while (bottom < screen.height && pixel(run.boardOrigin.x + 1, bottom) == background) {
        ++bottom;
    }
    area.clientWidth = right - run.boardOrigin.x;
    area.clientHeight = bottom - run.boardOrigin.y;
    if (area.clientWidth < 2 * BOARD_PIXELS || area.clientHeight < BOARD_PIXELS + 100) {
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
    ASSERT_TRUE(WindowGeometry(run.mainWindow, normal.window));
    ASSERT_TRUE(PlayPhase(run, random, normal, 1200, "4x4", tally));

    // Maximised: presses also fall in the client area beyond the board.
    ASSERT_TRUE(Maximise(run));
    Area wide;
    ASSERT_TRUE(MeasureClientArea(run, wide));
    ASSERT_TRUE(PlayPhase(run, random, wide, 1000, "4x4 maximised", tally));

    // A 5 x 5 board, whose cells do not divide the window the same way.
    ASSERT_TRUE(ChooseMenuItem(run, "s"));
    std::string dialog;
    ASSERT_TRUE(WaitForWindow("^Game Size$", SETTLE_MS, dialog));
    ASSERT_TRUE(PressKeys(dialog, {"alt+5", "alt+o"}));
    ASSERT_TRUE(WaitForNoWindow("^Game Size$", SETTLE_MS));
    ResetEngine(5);
    ASSERT_TRUE(WaitForBoard(run, RenderEngineBoard(), SETTLE_MS, "5x5 after OK"));
    ASSERT_TRUE(PlayPhase(run, random, wide, 800, "5x5 maximised", tally));

    // The final picture, once more after a pause.
    EXPECT_TRUE(BoardHolds(run, RenderEngineBoard(), 500, "final"));
    EXPECT_TRUE(FindWindows("^Good job!$").empty());
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
