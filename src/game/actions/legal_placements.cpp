#include "game/actions/legal_placements.hpp"

#include <array>

#include "game/bitboard/row_windows.hpp"

namespace game {
namespace {

// Calls visit(taken, first, last) for each candidate list of the walk, as
// the range [first, last) of `candidates` and `candidate_windows`, with
// `taken` the blocked cells plus the corner cells already visited; stops
// and returns false as soon as visit does.
template <class Visit>
bool walk(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners, std::uint32_t remaining,
          Visit visit) {
    RowWindows taken(blocked);
    for (unsigned x : corners.ones()) {
        for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
            if ((remaining >> j & 1) == 0) continue;
            const std::size_t list = x * NUM_PIECE_TYPES + j;
            if (!visit(taken, set.offsets[list], set.offsets[list + 1])) return false;
        }
        taken.add(x);
    }
    return true;
}

}  // namespace

bool has_legal_placement(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                         std::uint32_t remaining) {
    const u128* const windows = set.candidate_windows.data();
    return !walk(set, blocked, corners, remaining, [windows](const RowWindows& taken, std::size_t first, std::size_t last) {
        for (std::size_t e = first; e < last; ++e) {
            if (!taken.meets(windows[e])) return false;
        }
        return true;
    });
}

void list_legal_placements(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                           std::uint32_t remaining, std::vector<std::uint16_t>& moves) {
    moves.clear();
    const std::uint16_t* const candidates = set.candidates.data();
    const u128* const windows = set.candidate_windows.data();
    walk(set, blocked, corners, remaining, [&](const RowWindows& taken, std::size_t first, std::size_t last) {
        // Every candidate is written and the count advances only past the
        // legal ones: no branch on the test, whose outcome is unpredictable.
        std::array<std::uint16_t, ActionSet::MAX_LIST_LENGTH> found;
        std::size_t n = 0;
        for (std::size_t e = first; e < last; ++e) {
            found[n] = candidates[e];
            n += !taken.meets(windows[e]);
        }
        for (std::size_t f = 0; f < n; ++f) moves.push_back(found[f]);
        return true;
    });
}

}  // namespace game
