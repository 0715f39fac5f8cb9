// MarketRandom: the market's one source of chance, repeatable for a seed.
//
// The generator is xoshiro256** seeded through splitmix64, and the helpers
// below turn its raw output into numbers themselves, so a seed gives the same
// market with any standard library (the standard distributions may differ
// between implementations).
//
// Thread-safety: none; one market owns one generator.
#pragma once

#include <cstdint>
#include <vector>

namespace zphd {

class MarketRandom {
public:
    explicit MarketRandom(std::uint64_t seed) { Seed(seed); }

    void Seed(std::uint64_t seed)
    {
        for (auto& word : m_state) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t Next()
    {
        const std::uint64_t result = Rotl(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = Rotl(m_state[3], 45);
        return result;
    }

    // Uniform in [0, n); 0 when n is 0. The slight bias of the modulo is of
    // no account for a simulated market.
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }

    // Uniform in [lo, hi]; lo when hi < lo.
    int Between(int lo, int hi)
    {
        if (hi <= lo)
            return lo;
        return lo + static_cast<int>(Below(static_cast<std::uint64_t>(hi - lo) + 1));
    }

    // Uniform in [0, 1) with 53 bits.
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

    bool Chance(double p) { return Unit() < p; }

    // Index chosen with the given non-negative weights; 0 when all are 0.
    std::size_t Weighted(const std::vector<double>& weights)
    {
        double total = 0;
        for (double w : weights)
            total += w;
        if (total <= 0)
            return 0;
        double pick = Unit() * total;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (pick < weights[i])
                return i;
            pick -= weights[i];
        }
        return weights.size() - 1;
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t m_state[4] {};
};

} // namespace zphd
