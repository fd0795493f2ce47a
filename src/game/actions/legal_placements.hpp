#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "game/actions/action_set.hpp"
#include "game/bitboard/bitboard.hpp"

namespace game {

// The search for legal placements, in any one frame: a placement is legal
// when its piece is in `remaining`, it covers a cell of `corners` and meets
// no cell of `blocked` (the masks of placement_masks). The walk visits the
// corner cells in ascending order, for each the catalogue indices in
// `remaining` ascending, and for each the candidate list in order. A visited
// corner cell then joins the blocked set: every placement covering it has
// just been tested, so a later candidate that also covers it is rejected at
// once, and none is found twice.

// The first legal placement's dense index in walk order, if any; stops
// there.
std::optional<std::uint16_t> first_legal_placement(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                                                   std::uint32_t remaining);

// Replaces `moves` with every legal placement's dense index, once each, in
// walk order.
void list_legal_placements(const ActionSet& set, const Bitboard& blocked, const Bitboard& corners,
                           std::uint32_t remaining, std::vector<std::uint16_t>& moves);

}  // namespace game
