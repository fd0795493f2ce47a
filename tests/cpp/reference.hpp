#pragma once

// A slow, obviously correct statement of the placement rules, worked out on
// row/column coordinates with no bit tricks, tables or seat maps, to check
// the engine's fast paths against.

#include <array>
#include <set>
#include <utility>
#include <vector>

#include "game/game.hpp"

namespace game::reference {

using Cell = std::pair<int, int>;  // (row, column)

inline std::vector<Cell> cells_of(const Bitboard& b) {
    std::vector<Cell> out;
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 20; ++c) {
            if (b.contains(cell_index(r, c))) out.emplace_back(r, c);
        }
    }
    return out;
}

// (r, c) turned `k` quarter turns clockwise: a seat-k frame cell on the absolute board.
inline Cell turn_clockwise(Cell cell, std::size_t k) {
    for (std::size_t n = 0; n < k; ++n) cell = {cell.second, 19 - cell.first};
    return cell;
}

// Who owns each cell (-1 for nobody), and the rules for one agent on it.
class Board {
public:
    Board(const Game& game, std::size_t agent) : agent_(static_cast<int>(agent)), remaining_(game.pieces_in_hand(agent)) {
        for (auto& row : owner_) row.fill(-1);
        for (std::size_t k = 0; k < 4; ++k) {
            for (auto [r, c] : cells_of(game.cells(k))) {
                owner_[r][c] = static_cast<int>(k);
                has_own_ |= static_cast<int>(k) == agent_;
            }
        }
        start_ = turn_clockwise({0, 0}, agent);
    }

    bool legal(const std::vector<Cell>& cells, std::size_t catalogue) const {
        if ((remaining_ >> catalogue & 1) == 0) return false;
        bool attached = false;
        for (auto [r, c] : cells) {
            if (owner_[r][c] != -1) return false;
            if (own(r - 1, c) || own(r + 1, c) || own(r, c - 1) || own(r, c + 1)) return false;
            attached |= has_own_ ? own(r - 1, c - 1) || own(r - 1, c + 1) || own(r + 1, c - 1) || own(r + 1, c + 1)
                                 : Cell(r, c) == start_;
        }
        return attached;
    }

private:
    bool own(int r, int c) const { return r >= 0 && r < 20 && c >= 0 && c < 20 && owner_[r][c] == agent_; }

    std::array<std::array<int, 20>, 20> owner_;
    int agent_;
    std::uint32_t remaining_;
    bool has_own_ = false;
    Cell start_;
};

// The cells of every placement, by dense index, read off its bit set once.
inline const std::vector<std::vector<Cell>>& placement_cells() {
    static const std::vector<std::vector<Cell>> cells = [] {
        std::vector<std::vector<Cell>> out;
        for (const Action& action : ActionSet::get().actions) out.push_back(cells_of(action.cells));
        return out;
    }();
    return cells;
}

// The grid indices, read in `agent`'s own frame, of its legal placements.
inline std::set<std::size_t> legal_grid_indices(const Game& game, std::size_t agent) {
    const Board board(game, agent);
    std::set<std::size_t> out;
    std::vector<Cell> absolute;
    for (std::size_t i = 0; i < game.action_set().actions.size(); ++i) {
        absolute.clear();
        for (Cell cell : placement_cells()[i]) absolute.push_back(turn_clockwise(cell, agent));
        const Action& action = game.action_set().actions[i];
        if (board.legal(absolute, catalogue_index(action.piece))) out.insert(action.grid_index);
    }
    return out;
}

}  // namespace game::reference
