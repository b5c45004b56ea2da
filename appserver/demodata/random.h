#pragma once
// The demo data's random numbers: a SplitMix64 generator and the few distributions the
// generator needs, all written out here so that one seed gives the same data with every
// compiler and standard library (std:: distributions are free to differ between them).

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>

namespace kpr::demodata {

class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next();

    // A whole number in [lo, hi], every value equally likely (rejection, no modulo bias).
    int between(int lo, int hi);
    // A number in [0, 1) with 53 random bits.
    double unit();
    // True with probability p.
    bool chance(double p) { return unit() < p; }

    template<typename T, std::size_t N>
    const T &pick(const std::array<T, N> &items)
    {
        return items[std::size_t(between(0, int(N) - 1))];
    }
    template<typename T, std::size_t N>
    const T &pick(const T (&items)[N])
    {
        return items[std::size_t(between(0, int(N) - 1))];
    }

private:
    std::uint64_t m_state;
};

// A seed for one independent stream, derived from the run's seed and the identifiers of
// what the stream generates (a table and row indexes). Streams let the meals of one client
// and service be generated without drawing every number before them.
std::uint64_t streamSeed(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0, std::uint64_t c = 0,
                         std::uint64_t d = 0);

} // namespace kpr::demodata
