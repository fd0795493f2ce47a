#include <gtest/gtest.h>

#include <array>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "game/game.hpp"
#include "random_play.hpp"

namespace game {
namespace {

const std::string ESC = "\x1b";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(text.substr(start, nl - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The text as it appears on screen: every ESC [ ... m sequence removed.
std::string on_screen(const std::string& line) {
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\x1b') {
            EXPECT_EQ(line.at(i + 1), '[');
            i = line.find('m', i);
            EXPECT_NE(i, std::string::npos);
            continue;
        }
        out += line[i];
    }
    return out;
}

std::string occupied(const char* parameter) { return "|  " + ESC + "[" + parameter + "mx" + ESC + "[0m "; }

// Which agent's colour each cell of a row line shows (-1 for an empty
// cell), read back from the text.
std::vector<int> owners_in_row(const std::string& line) {
    std::vector<int> owners;
    std::size_t at = 2;
    for (int c = 0; c < 20; ++c) {
        if (line.compare(at, 5, "|  . ") == 0) {
            owners.push_back(-1);
            at += 5;
            continue;
        }
        const std::string cell = line.substr(at, 14);
        int owner = -1;
        for (int k = 0; k < 4; ++k) {
            if (cell == occupied(std::array{"44", "43", "41", "42"}[k])) owner = k;
        }
        EXPECT_NE(owner, -1) << "unreadable cell " << c << " in " << line;
        owners.push_back(owner);
        at += 14;
    }
    EXPECT_EQ(line.substr(at), "|");
    return owners;
}

// Loads a state in which each listed agent covers (row, column).
Game with_cells(const std::vector<std::pair<std::size_t, unsigned>>& cells) {
    Position layout;
    for (auto [agent, cell] : cells) layout.cells[agent] |= Bitboard::single(cell);
    return *Game::set_up(layout);
}

TEST(Text, EmptyBoard) {
    const std::string text = Game().text();
    ASSERT_NE(text.back(), '\n');
    EXPECT_EQ(text.find('\t'), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0],
              "  |  0 |  1 |  2 |  3 |  4 |  5 |  6 |  7 |  8 |  9 | 10 | 11 | 12 | 13 | 14 | 15 | 16 | 17 | 18 | 19 |");
    const std::string rule(103, '-');
    EXPECT_EQ(lines[2],
              " 0|  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |  . |");
    for (std::size_t i = 1; i < 41; i += 2) EXPECT_EQ(lines[i], rule) << i;
    for (std::size_t r = 0; r < 20; ++r) {
        std::string row = (r < 10 ? " " : "") + std::to_string(r);
        for (int c = 0; c < 20; ++c) row += "|  . ";
        EXPECT_EQ(lines[2 + 2 * r], row + "|") << r;
    }
    for (const std::string& line : lines) EXPECT_EQ(line.size(), 103u);
}

TEST(Text, MonominoOfAgentZero) {
    Game g;
    ASSERT_FALSE(g.step(0));
    const auto lines = lines_of(g.text());
    ASSERT_EQ(lines.size(), 41u);
    std::string row0 = " 0" + occupied("44");
    for (int c = 1; c < 20; ++c) row0 += "|  . ";
    EXPECT_EQ(lines[2], row0 + "|");
    EXPECT_EQ(on_screen(lines[2]).size(), 103u);
    EXPECT_EQ(lines[2].size(), 103u + 9);  // the colour and reset sequences take no screen columns
}

TEST(Text, EachAgentHasItsColourWhoeverIsToMove) {
    Game g;
    for (int k = 0; k < 4; ++k) ASSERT_FALSE(g.step(0));
    for (std::size_t current = 0; current < 4; ++current) {
        Position layout = g.position();
        layout.seat_to_move = current;
        g = *Game::set_up(layout);
        const auto lines = lines_of(g.text());
        EXPECT_EQ(owners_in_row(lines[2]).front(), 0);
        EXPECT_EQ(owners_in_row(lines[2]).back(), 1);
        EXPECT_EQ(owners_in_row(lines[40]).back(), 2);
        EXPECT_EQ(owners_in_row(lines[40]).front(), 3);
        EXPECT_EQ(lines[40].substr(0, 2 + 14), "19" + occupied("42"));
        EXPECT_EQ(lines[40].substr(lines[40].size() - 15), occupied("41") + "|");
        EXPECT_EQ(lines[2].substr(lines[2].size() - 15), occupied("43") + "|");
    }
}

TEST(Text, LowestAgentWinsASharedCell) {
    const unsigned cell = cell_index(7, 11);
    const auto shown = [&](const Game& g) { return owners_in_row(lines_of(g.text())[2 + 2 * 7])[11]; };
    EXPECT_EQ(shown(with_cells({{3, cell}, {2, cell}})), 2);
    EXPECT_EQ(shown(with_cells({{2, cell}, {1, cell}, {3, cell}})), 1);
    EXPECT_EQ(shown(with_cells({{3, cell}, {0, cell}, {1, cell}, {2, cell}})), 0);
    EXPECT_EQ(shown(with_cells({{3, cell}})), 3);
}

TEST(Text, ReadsBackTheBoardOfRandomGames) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 rng(seed);
        Game g;
        for (int turn = 0; turn < 400 && !g.over(); ++turn) {
            test_support::play_random_turn(g, rng);
            if (turn % 16 != 15) continue;
            const std::string text = g.text();
            const auto lines = lines_of(text);
            ASSERT_EQ(lines.size(), 41u);
            for (const std::string& line : lines) ASSERT_EQ(on_screen(line).size(), 103u);
            for (unsigned r = 0; r < 20; ++r) {
                const std::string& line = lines[2 + 2 * r];
                ASSERT_EQ(line.substr(0, 2), (r < 10 ? " " : "") + std::to_string(r));
                const auto owners = owners_in_row(line);
                for (unsigned c = 0; c < 20; ++c) {
                    int expected = -1;
                    for (int k = 3; k >= 0; --k) {
                        if (g.cells(k).contains(cell_index(r, c))) expected = k;
                    }
                    ASSERT_EQ(owners[c], expected) << "row " << r << " column " << c;
                }
            }
            std::ostringstream streamed;
            streamed << g;
            ASSERT_EQ(streamed.str(), text);
        }
    }
}

}  // namespace
}  // namespace game
