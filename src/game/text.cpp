#include <string>

#include "game/game.hpp"

namespace game {

namespace {

// ANSI background colour parameter of each agent.
constexpr const char* BACKGROUND[NUM_SEATS] = {"44", "43", "41", "42"};
const std::string RULE(103, '-');

void append_label(std::string& out, unsigned number) {
    if (number < 10) out += ' ';
    out += std::to_string(number);
}

}  // namespace

std::string Game::text() const {
    std::string out = "  | ";
    for (unsigned c = 0; c < BOARD_SIZE; ++c) {
        if (c > 0) out += " | ";
        append_label(out, c);
    }
    out += " |\n" + RULE + "\n";
    for (unsigned r = 0; r < BOARD_SIZE; ++r) {
        append_label(out, r);
        for (unsigned c = 0; c < BOARD_SIZE; ++c) {
            const unsigned cell = cell_index(r, c);
            std::size_t owner = NUM_SEATS;
            for (std::size_t k = 0; k < NUM_SEATS && owner == NUM_SEATS; ++k) {
                if (seats_[k].cells.contains(cell)) owner = k;
            }
            if (owner == NUM_SEATS) {
                out += "|  . ";
            } else {
                out += "|  \x1b[";
                out += BACKGROUND[owner];
                out += "mx\x1b[0m ";
            }
        }
        out += '|';
        if (r + 1 < BOARD_SIZE) out += "\n" + RULE + "\n";
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const Game& game) { return out << game.text(); }

}  // namespace game
