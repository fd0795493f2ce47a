#pragma once

#include <cstdint>

namespace common {

// The one random stream of the engine's layers: a small seeded generator
// (xoshiro256**, seeded through SplitMix64) whose draws are the same on
// every compiler and standard library, unlike the distributions of <random>.
// The reproducibility of the players and of the batch's random play rests
// on it. A plain 32-byte value.
class RandomStream {
public:
    explicit RandomStream(std::uint64_t seed = 0) { reseed(seed); }

    void reseed(std::uint64_t seed) {
        for (std::uint64_t& word : state_) word = split_mix(seed);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotate(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotate(state_[3], 45);
        return result;
    }

    // Uniform in [0, bound) for 0 < bound < 2^32, by Lemire's multiply and
    // reject, so no draw is biased towards small values.
    std::uint32_t below(std::uint32_t bound) {
        std::uint64_t product = (next() >> 32) * bound;
        if (static_cast<std::uint32_t>(product) < bound) {
            const std::uint32_t threshold = static_cast<std::uint32_t>(-bound) % bound;
            while (static_cast<std::uint32_t>(product) < threshold) product = (next() >> 32) * bound;
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

private:
    static std::uint64_t rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    static std::uint64_t split_mix(std::uint64_t& x) {
        std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    std::uint64_t state_[4]{};
};

// One seed per (seed, stream) pair, so that the games of an arena, the
// players in them and the threads of a search draw unrelated numbers.
inline std::uint64_t derive_seed(std::uint64_t seed, std::uint64_t stream) {
    RandomStream mixer(seed ^ (stream * 0xd1342543de82ef95ULL));
    return mixer.next();
}

}  // namespace common
