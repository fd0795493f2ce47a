#pragma once

#include <string_view>

namespace game {

// A refused move. The game that refused it is unchanged.
struct InvalidAction {
    std::string_view message = "Action index not available";
};

}  // namespace game
