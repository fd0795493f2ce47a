#include "game/actions/legal_placements.hpp"

#include <array>

#include "game/bitboard/reach.hpp"

namespace game {
namespace {

unsigned lowest_bit(std::uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }

// A corner being visited: its row and column, which turn a reach entry into
// a dense index.
struct Corner {
    std::int32_t row;
    std::int32_t column;

    std::uint16_t placement(const ReachEntry& entry) const {
        return static_cast<std::uint16_t>(entry.base + row * static_cast<std::int32_t>(entry.width) + column);
    }
};

// Walks the corners in ascending order. At each, it works out the set of
// legal entries, those of the pieces in `remaining` that miss every taken
// cell around the corner (blocked cells, off-board cells and the corners
// visited before), and calls visitor.word(corner, entries, w, legal) for
// every non-empty word w of it, in order; then visitor.corner_done(). Stops
// and returns false as soon as word() does.
template <class Visitor>
bool walk(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners, std::uint32_t remaining,
          Visitor& visitor) {
    const ReachSet in_hand = set.reach_in_hand(remaining);
    ReachRows taken(blocked);
    for (unsigned x : corners.ones()) {
        const std::uint64_t around = taken.reach(x);
        if ((around >> REACH_CENTRE_BIT & 1) == 0) {
            ReachSet legal = in_hand;
            for (unsigned g = 0; g < NUM_REACH_GROUPS; ++g) {
                const ReachSet& clear = set.reach_clear[g][reach_group(around, g)];
                for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) legal[w] &= clear[w];
            }
            const Corner corner{static_cast<std::int32_t>(x / ROW_STRIDE), static_cast<std::int32_t>(x % ROW_STRIDE)};
            for (std::size_t w = 0; w < REACH_SET_WORDS; ++w) {
                if (legal[w] != 0 && !visitor.word(corner, set.reach_entries.data(), w, legal[w])) return false;
            }
            visitor.corner_done();
        }
        taken.add(x);
    }
    return true;
}

// Stops at the first legal placement.
struct FirstLegal {
    std::optional<std::uint16_t> found;

    bool word(const Corner& corner, const ReachEntry* entries, std::size_t w, std::uint64_t legal) {
        found = corner.placement(entries[64 * w + lowest_bit(legal)]);
        return false;
    }
    void corner_done() const {}
};

// Collects every legal placement; a corner's finds join `moves` in one copy.
struct AllLegal {
    explicit AllLegal(std::vector<std::uint16_t>& out) : moves(out) {}

    std::vector<std::uint16_t>& moves;
    std::array<std::uint16_t, ActionSet::MAX_CELL_ENTRIES> found;  // only the first `count` are read
    std::size_t count = 0;

    bool word(const Corner& corner, const ReachEntry* entries, std::size_t w, std::uint64_t legal) {
        for (; legal != 0; legal &= legal - 1) found[count++] = corner.placement(entries[64 * w + lowest_bit(legal)]);
        return true;
    }
    void corner_done() {
        moves.insert(moves.end(), found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count));
        count = 0;
    }
};

}  // namespace

std::optional<std::uint16_t> first_legal_placement(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                                                   std::uint32_t remaining) {
    FirstLegal visitor;
    walk(set, blocked, corners, remaining, visitor);
    return visitor.found;
}

void list_legal_placements(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                           std::uint32_t remaining, std::vector<std::uint16_t>& moves) {
    moves.clear();
    AllLegal visitor(moves);
    walk(set, blocked, corners, remaining, visitor);
}

}  // namespace game
