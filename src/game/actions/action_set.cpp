#include "game/actions/action_set.hpp"

#include <algorithm>
#include <limits>

#include "game/bitboard/row_windows.hpp"
#include "game/pieces/piece.hpp"

namespace game {

const ActionSet& ActionSet::get() {
    // Never destroyed: threads that run without the interpreter may still be
    // reading it while the process exits.
    static const ActionSet* const ACTION_SET = new ActionSet(build());
    return *ACTION_SET;
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
    for (std::uint16_t i = 0; i < count; ++i) {
        if (set.actions[i].grid_index >= NUM_GRID_POSITIONS) {
            throw Fault("Grid index " + std::to_string(set.actions[i].grid_index) + " out of range");
        }
        set.grid[set.actions[i].grid_index] = i;
    }

    // Candidate lists in one pass to size them and one to fill them, in
    // ascending dense index; offsets[x + 1] counts list x until the running
    // sum turns the counts into starts.
    set.offsets.assign(NUM_INDICES * NUM_PIECE_TYPES + 1, 0);
    for (const Action& action : set.actions) {
        const std::size_t j = catalogue_index(action.piece);
        for (unsigned x : action.cells.ones()) ++set.offsets[x * NUM_PIECE_TYPES + j + 1];
    }
    for (std::size_t x = 0; x + 1 < set.offsets.size(); ++x) {
        if (set.offsets[x + 1] > MAX_LIST_LENGTH) {
            throw Fault("Candidate list of " + std::to_string(set.offsets[x + 1]) + " placements");
        }
        set.offsets[x + 1] += set.offsets[x];
    }
    for (std::size_t cell = 0; cell < NUM_INDICES; ++cell) {
        const std::size_t entries = set.offsets[(cell + 1) * NUM_PIECE_TYPES] - set.offsets[cell * NUM_PIECE_TYPES];
        if (entries > MAX_CELL_ENTRIES) throw Fault("Cell " + std::to_string(cell) + " has " + std::to_string(entries) + " candidates");
    }
    set.candidates.resize(set.offsets.back());
    std::vector<std::size_t> next(set.offsets.begin(), set.offsets.end() - 1);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t j = catalogue_index(set.actions[i].piece);
        for (unsigned x : set.actions[i].cells.ones()) set.candidates[next[x * NUM_PIECE_TYPES + j]++] = i;
    }

    // The quarter turn of a placement is a placement of the same piece type
    // covering its own lowest cell, so the candidate list of that cell and
    // type, at most 40 entries, serves as the lookup by cell set.
    std::vector<std::uint16_t> rot(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const Bitboard turned = set.actions[i].cells.permute(TURN_CW);
        const auto list = set.candidates_for(*turned.ones().begin(), catalogue_index(set.actions[i].piece));
        const auto found = std::find_if(list.begin(), list.end(), [&](std::uint16_t r) { return set.actions[r].cells == turned; });
        if (found == list.end()) throw Fault("Turned placement " + std::to_string(i) + " missing");
        rot[i] = *found;
    }
    set.seat_maps[0].resize(count);
    for (std::uint16_t i = 0; i < count; ++i) set.seat_maps[0][i] = i;
    for (std::size_t k = 1; k < NUM_SEATS; ++k) {
        set.seat_maps[k].resize(count);
        for (std::uint16_t i = 0; i < count; ++i) set.seat_maps[k][i] = rot[set.seat_maps[k - 1][i]];
    }

    std::vector<u128> windows(count);
    for (std::uint16_t i = 0; i < count; ++i) windows[i] = RowWindows::pack(set.actions[i].cells);
    set.candidate_windows.reserve(set.candidates.size());
    for (std::uint16_t i : set.candidates) set.candidate_windows.push_back(windows[i]);

    set.edge_masks.assign(NUM_INDICES * NUM_PIECE_TYPES, {});
    for (std::size_t x = 0; x < set.edge_masks.size(); ++x) {
        const unsigned cell = static_cast<unsigned>(x / NUM_PIECE_TYPES);
        for (std::size_t d = 0; d < NUM_EDGES; ++d) {
            const std::optional<unsigned> neighbour = edge_neighbour(cell, static_cast<Edge>(d));
            if (!neighbour) continue;
            for (std::size_t e = set.offsets[x]; e < set.offsets[x + 1]; ++e) {
                if (RowWindows::covers(set.candidate_windows[e], *neighbour)) {
                    set.edge_masks[x][d] |= std::uint64_t{1} << (e - set.offsets[x]);
                }
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
