#include "game/game.hpp"

#include "game/actions/legal_placements.hpp"

namespace game {

Game::Game() : actions(&ActionSet::get()) {
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        agents[k].remaining = ALL_PIECES;
        agents[k].color = static_cast<Color>(k);
    }
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
    agent.placed += 1;
    agent.remaining &= ~bit;
    agent.last_piece = code(placement.piece);
    update_done();
    current = (k + 1) % NUM_SEATS;
    return std::nullopt;
}

void Game::update_done() {
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        Agent& agent = agents[k];
        if (agent.done) continue;
        const auto [blocked, corners] = placement_masks(k);
        agent.done = !first_legal_placement(*actions, blocked, corners, agent.remaining);
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
