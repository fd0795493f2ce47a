#pragma once

#include <cstdint>

namespace batch {

// A slot's own random stream: SplitMix64, a plain 64-bit value. A slot's
// stream depends only on the batch seed and the slot number, so random play
// is the same whichever thread steps the slot.
class SlotRandom {
public:
    SlotRandom() = default;
    SlotRandom(std::uint64_t seed, std::uint64_t slot) : state_(mix(seed) ^ mix(slot + GOLDEN)) {}

    std::uint64_t next() {
        state_ += GOLDEN;
        return mix(state_);
    }

    // Uniform over [0, bound), bound > 0, without modulo bias: Lemire's
    // multiply-and-reject.
    std::uint32_t below(std::uint32_t bound) {
        std::uint64_t product = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * bound;
        auto low = static_cast<std::uint32_t>(product);
        if (low < bound) {
            const std::uint32_t threshold = (0u - bound) % bound;
            while (low < threshold) {
                product = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * bound;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

    friend bool operator==(const SlotRandom&, const SlotRandom&) = default;

private:
    static constexpr std::uint64_t GOLDEN = 0x9e3779b97f4a7c15ULL;

    static constexpr std::uint64_t mix(std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    std::uint64_t state_ = 0;
};

}  // namespace batch
