#include "game/actions/action_set.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <limits>

#include "game/bitboard/reach.hpp"
#include "game/pieces/piece.hpp"

namespace game {

const ActionSet& ActionSet::get() {
    // Never destroyed: threads that run without the interpreter may still be
    // reading it while the process exits.
    static const ActionSet* const ACTION_SET = new ActionSet(build());
    return *ACTION_SET;
}

namespace {

// The reach tables (see ActionSet). An orientation covers a cell at each of
// its own cells (a, b) in its bounding box, its top left then being
// (row - a, column - b); the later the cell, the lower the dense index.
void build_reach_tables(ActionSet& set, const std::vector<Piece>& catalogue,
                        const std::vector<std::size_t>& first_of_orientation) {
    std::size_t next = 0;
    for (std::size_t o = 0; o < catalogue.size(); ++o) {
        const std::size_t j = catalogue_index(catalogue[o].piece_type);
        if (o == 0 || catalogue_index(catalogue[o - 1].piece_type) != j) set.reach_offsets[j] = static_cast<std::uint16_t>(next);
        std::vector<std::pair<int, int>> cells;
        const u128 shape = catalogue[o].shape_mask();
        for (unsigned bit = 0; bit < 128; ++bit) {
            if ((shape >> bit & 1) != 0) cells.emplace_back(bit / ROW_STRIDE, bit % ROW_STRIDE);
        }
        const auto width = static_cast<std::int32_t>(catalogue[o].max_col + 1);
        for (auto at = cells.rbegin(); at != cells.rend(); ++at) {
            if (next == ActionSet::MAX_CELL_ENTRIES) throw Fault("More than " + std::to_string(next) + " reach entries");
            ReachEntry& entry = set.reach_entries[next++];
            for (auto [r, c] : cells) {
                if (std::abs(r - at->first) + std::abs(c - at->second) > REACH_RADIUS) {
                    throw Fault("Orientation " + std::to_string(o) + " reaches beyond four steps");
                }
                entry.cells |= reach_bit(r - at->first, c - at->second);
            }
            entry.base = static_cast<std::int32_t>(first_of_orientation[o]) - at->first * width - at->second;
            entry.width = static_cast<std::uint32_t>(width);
        }
    }
    set.reach_offsets[NUM_PIECE_TYPES] = static_cast<std::uint16_t>(next);
    std::array<ReachSet, NUM_PIECE_TYPES> pieces{};
    std::array<std::uint8_t, ActionSet::MAX_CELL_ENTRIES> piece_of{};
    for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
        const std::size_t length = set.reach_offsets[j + 1] - set.reach_offsets[j];
        if (length > ActionSet::MAX_LIST_LENGTH) throw Fault("Reach list of " + std::to_string(length) + " entries");
        for (std::size_t e = set.reach_offsets[j]; e < set.reach_offsets[j + 1]; ++e) {
            pieces[j][e / 64] |= std::uint64_t{1} << (e % 64);
            piece_of[e] = static_cast<std::uint8_t>(j);
        }
    }
    // Each word's table holds one entry per subset of its pieces; a word past
    // the last entry has one piece-less, empty entry.
    for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) {
        ReachHandWord& word = set.reach_hand[w];
        word.offset = static_cast<std::uint16_t>(set.reach_hand_words.size());
        if (64 * w < next) {
            word.first = piece_of[64 * w];
            word.count = static_cast<std::uint8_t>(piece_of[std::min(64 * w + 63, next - 1)] - word.first + 1);
        }
        if (word.count > 8) throw Fault("Reach word " + std::to_string(w) + " spans " + std::to_string(word.count) + " pieces");
        for (unsigned hand = 0; hand < (1u << word.count); ++hand) {
            std::uint64_t entries = 0;
            for (unsigned b = 0; b < word.count; ++b) {
                if ((hand >> b & 1) != 0) entries |= pieces[word.first + b][w];
            }
            set.reach_hand_words.push_back(entries);
        }
    }
    for (unsigned g = 0; g < NUM_REACH_GROUPS; ++g) {
        for (unsigned pattern = 0; pattern < (1u << REACH_GROUP_BITS); ++pattern) {
            const std::uint64_t taken = std::uint64_t{pattern} << reach_group_shift(g);
            for (std::size_t e = 0; e < next; ++e) {
                if ((set.reach_entries[e].cells & taken) == 0) set.reach_clear[g][pattern][e / 64] |= std::uint64_t{1} << (e % 64);
            }
        }
    }
}

}  // namespace

ActionSet ActionSet::build() {
    ActionSet set;
    const std::vector<Piece> catalogue = generate();
    std::vector<std::size_t> first_of_orientation;
    for (std::size_t o = 0; o < catalogue.size(); ++o) {
        first_of_orientation.push_back(set.actions.size());
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

    build_reach_tables(set, catalogue, first_of_orientation);
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
