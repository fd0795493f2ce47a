#include "game/game.hpp"

#include "game/actions/legal_placements.hpp"

namespace game {

Game::Game() : actions(&ActionSet::get()) {
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        agents[k].remaining = ALL_PIECES;
        agents[k].color = static_cast<Color>(k);
    }
    update_derived();
}

PlacementMasks Game::placement_masks(std::size_t agent) const {
    const Bitboard all = agents[0].cells | agents[1].cells | agents[2].cells | agents[3].cells;
    return PlacementMasks::of(all, agents[agent].cells, START_CELLS[agent]);
}

std::optional<InvalidAction> Game::step(std::optional<std::uint64_t> action) {
    const std::size_t k = current;
    Agent& agent = agents[k];
    if (agent.done) {
        current = (k + 1) % NUM_SEATS;
        return std::nullopt;
    }
    if (!action || *action >= actions->grid.size() || !actions->grid[*action]) return InvalidAction{};
    const std::size_t seen = *actions->grid[*action];
    const Action& placement = actions->actions[actions->seat_maps[k][seen]];
    const std::uint32_t bit = 1u << catalogue_index(placement.piece);
    const PlacementMasks masks = placement_masks(k);
    if ((agent.remaining & bit) == 0 || placement.cells.intersects(masks.blocked) ||
        !placement.cells.intersects(masks.corners)) {
        return InvalidAction{};
    }
    agent.cells |= placement.cells;
    // The piece's few cells are turned one by one: cheaper than turning a
    // whole board, or than looking up its turned placements, which lie far
    // apart in the action set.
    for (unsigned cell : placement.cells.ones()) {
        for (std::size_t f = 1; f < NUM_SEATS; ++f) turned_cells[f - 1][k].insert((*COUNTER_CLOCKWISE_TURNS[f - 1])[cell]);
    }
    agent.placed += 1;
    agent.remaining &= ~bit;
    agent.last_piece = code(placement.piece);
    for (std::size_t j = 0; j < NUM_SEATS; ++j) {
        if (agents[j].done) continue;
        // A seat not done without a placement on record (a flag cleared by
        // hand) is searched again rather than read out of range.
        if (j == k || first_legal[j] >= actions->actions.size() ||
            actions->actions[first_legal[j]].cells.intersects(placement.cells)) {
            find_first_legal(j);
        }
    }
    current = (k + 1) % NUM_SEATS;
    return std::nullopt;
}

void Game::find_first_legal(std::size_t seat) {
    const auto [blocked, corners] = placement_masks(seat);
    const std::optional<std::uint16_t> first = first_legal_placement(*actions, blocked, corners, agents[seat].remaining);
    first_legal[seat] = first.value_or(NO_PLACEMENT);
    agents[seat].done = !first;
}

void Game::update_derived() {
    for (std::size_t f = 1; f < NUM_SEATS; ++f) {
        for (std::size_t k = 0; k < NUM_SEATS; ++k) turned_cells[f - 1][k] = turn_counter_clockwise(agents[k].cells, f);
    }
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        if (!agents[k].done) find_first_legal(k);
    }
}

unsigned Game::ply() const {
    unsigned sum = 0;
    for (const Agent& agent : agents) sum += agent.placed;
    return sum;
}

bool Game::over() const {
    for (const Agent& agent : agents) {
        if (!agent.done) return false;
    }
    return true;
}

}  // namespace game
