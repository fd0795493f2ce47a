#include "game/actions/action_set.hpp"

#include <limits>
#include <unordered_map>

#include "game/bitboard/row_windows.hpp"
#include "game/pieces/piece.hpp"

namespace game {

const ActionSet& ActionSet::get() {
    static const ActionSet ACTION_SET = build();
    return ACTION_SET;
}

ActionSet ActionSet::build() {
    ActionSet set;
    const std::vector<Piece> catalogue = generate();
    for (std::size_t o = 0; o < catalogue.size(); ++o) {
        for (const auto& [position, cells] : catalogue[o].build_translations()) {
            set.actions.push_back({cells, o * 400 + position, catalogue[o].piece_type});
        }
    }
    if (set.actions.size() > std::numeric_limits<std::uint16_t>::max()) {
        throw Fault("Action set of " + std::to_string(set.actions.size()) + " placements exceeds 16-bit indices");
    }
    const auto count = static_cast<std::uint16_t>(set.actions.size());

    set.grid.assign(NUM_GRID_POSITIONS, std::nullopt);
    std::unordered_map<Bitboard, std::uint16_t, BitboardHash> by_cells;
    by_cells.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        if (set.actions[i].grid_index >= NUM_GRID_POSITIONS) {
            throw Fault("Grid index " + std::to_string(set.actions[i].grid_index) + " out of range");
        }
        set.grid[set.actions[i].grid_index] = i;
        by_cells.emplace(set.actions[i].cells, i);
    }

    std::vector<std::uint16_t> rot(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const auto turned = by_cells.find(set.actions[i].cells.permute(TURN_CW));
        if (turned == by_cells.end()) throw Fault("Turned placement " + std::to_string(i) + " missing");
        rot[i] = turned->second;
    }
    set.seat_maps[0].resize(count);
    for (std::uint16_t i = 0; i < count; ++i) set.seat_maps[0][i] = i;
    for (std::size_t k = 1; k < NUM_SEATS; ++k) {
        set.seat_maps[k].resize(count);
        for (std::uint16_t i = 0; i < count; ++i) set.seat_maps[k][i] = rot[set.seat_maps[k - 1][i]];
    }

    std::vector<u128> windows(count);
    for (std::uint16_t i = 0; i < count; ++i) windows[i] = RowWindows::pack(set.actions[i].cells);

    std::vector<std::vector<std::uint16_t>> lists(NUM_INDICES * NUM_PIECE_TYPES);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t j = catalogue_index(set.actions[i].piece);
        for (unsigned x : set.actions[i].cells.ones()) lists[x * NUM_PIECE_TYPES + j].push_back(i);
    }
    set.offsets.reserve(lists.size() + 1);
    set.offsets.push_back(0);
    for (const auto& list : lists) {
        if (list.size() > MAX_LIST_LENGTH) throw Fault("Candidate list of " + std::to_string(list.size()) + " placements");
        set.candidates.insert(set.candidates.end(), list.begin(), list.end());
        set.offsets.push_back(set.candidates.size());
    }
    for (std::size_t cell = 0; cell < NUM_INDICES; ++cell) {
        const std::size_t entries = set.offsets[(cell + 1) * NUM_PIECE_TYPES] - set.offsets[cell * NUM_PIECE_TYPES];
        if (entries > MAX_CELL_ENTRIES) throw Fault("Cell " + std::to_string(cell) + " has " + std::to_string(entries) + " candidates");
    }
    set.candidate_windows.reserve(set.candidates.size());
    for (std::uint16_t i : set.candidates) set.candidate_windows.push_back(windows[i]);

    set.edge_masks.assign(lists.size(), {});
    for (std::size_t x = 0; x < lists.size(); ++x) {
        const unsigned cell = static_cast<unsigned>(x / NUM_PIECE_TYPES);
        for (std::size_t d = 0; d < NUM_EDGES; ++d) {
            const std::optional<unsigned> neighbour = edge_neighbour(cell, static_cast<Edge>(d));
            if (!neighbour) continue;
            for (std::size_t n = 0; n < lists[x].size(); ++n) {
                if (RowWindows::covers(windows[lists[x][n]], *neighbour)) set.edge_masks[x][d] |= std::uint64_t{1} << n;
            }
        }
    }
    return set;
}

std::vector<std::uint8_t> ActionSet::grid_mask(std::span<const std::uint16_t> indices) const {
    std::vector<std::uint8_t> mask(NUM_GRID_POSITIONS, 0);
    mark_grid(indices, std::span<std::uint8_t, NUM_GRID_POSITIONS>(mask));
    return mask;
}

void ActionSet::mark_grid(std::span<const std::uint16_t> indices,
                          std::span<std::uint8_t, NUM_GRID_POSITIONS> mask) const {
    for (std::uint16_t i : indices) mask[actions[i].grid_index] = 1;
}

}  // namespace game
