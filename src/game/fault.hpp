#pragma once

#include <stdexcept>
#include <string>

namespace game {

// A broken internal invariant: a bound that no valid game state, action or
// piece reaches. It ends only the current engine call; the Python binding
// reports it as PanicException. Rule violations are never faults: they are
// returned as values (see InvalidAction).
class Fault : public std::logic_error {
public:
    explicit Fault(const std::string& message) : std::logic_error(message) {}
};

}  // namespace game
