#include "players/placement_shapes.hpp"

namespace players {

const std::vector<PlacementShape>& placement_shapes() {
    // Never destroyed: searches that run without the interpreter may still be
    // reading it while the process exits.
    static const std::vector<PlacementShape>* const shapes = [] {
        const game::ActionSet& set = game::ActionSet::get();
        auto* built = new std::vector<PlacementShape>(set.actions.size());
        for (std::size_t i = 0; i < set.actions.size(); ++i) {
            const game::Action& action = set.actions[i];
            PlacementShape& shape = (*built)[i];
            shape.cells = action.cells;
            shape.own_blocked = action.cells.orthogonal_neighbours();
            shape.corner_cells = action.cells.diagonal_neighbours() - shape.own_blocked;
            shape.size = static_cast<std::uint8_t>(game::cell_count(action.piece));
        }
        return built;
    }();
    return *shapes;
}

}  // namespace players
