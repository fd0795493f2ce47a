#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "game/observation_bytes.hpp"

namespace batch {

// A zero-filled array of `count` T, allocated once and never moved. It comes
// from calloc, so that pages a batch never writes (most of the legal-move
// rows) cost address space only.
template <class T>
class ZeroedArray {
public:
    explicit ZeroedArray(std::size_t count) : count_(count), data_(static_cast<T*>(std::calloc(count ? count : 1, sizeof(T)))) {
        if (!data_) throw std::bad_alloc();
    }
    T* data() const { return data_.get(); }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    struct Free {
        void operator()(T* pointer) const { std::free(pointer); }
    };
    std::size_t count_;
    std::unique_ptr<T[], Free> data_;
};

// Everything a step reports, slot-major: slot i's share of each buffer
// starts at i times its per-slot size, and the observation's shares have the
// layout of observation_bytes.hpp. Legal moves are grid indices in the
// mover's frame, listed in the single-game observation's move order: row i
// of `legal_actions` holds `legal_count[i]` of them, then stale entries.
struct Buffers {
    explicit Buffers(std::size_t games, std::size_t max_legal, bool dense_mask)
        : agent(games),
          observation(games * game::PLANES_SIZE),
          pieces(games * game::PIECES_SIZE),
          done(games * game::DONE_SIZE),
          rewards(games * game::NUM_SEATS),
          terminated(games),
          legal_count(games),
          legal_actions(games * max_legal),
          action_mask(dense_mask ? games * game::NUM_GRID_POSITIONS : 0),
          max_legal(max_legal) {}

    ZeroedArray<std::uint8_t> agent;        // seat to move
    ZeroedArray<std::uint8_t> observation;  // 12 planes of 400 bytes of 0/1
    ZeroedArray<std::uint8_t> pieces;       // 4 seats x 21 pieces in hand, 0/1
    ZeroedArray<std::uint8_t> done;         // 4 seats, 0/1
    ZeroedArray<float> rewards;             // 4 seats, absolute seat order
    ZeroedArray<std::uint8_t> terminated;   // 0/1
    ZeroedArray<std::int32_t> legal_count;
    ZeroedArray<std::uint16_t> legal_actions;
    ZeroedArray<std::uint8_t> action_mask;  // empty unless built with the dense mask
    std::size_t max_legal;                  // row length of legal_actions
};

}  // namespace batch
