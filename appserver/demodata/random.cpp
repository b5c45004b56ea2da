#include "appserver/demodata/random.h"

#include <limits>

namespace kpr::demodata {

namespace {

std::uint64_t mix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

std::uint64_t Random::next()
{
    m_state += 0x9e3779b97f4a7c15ULL;
    return mix64(m_state);
}

int Random::between(int lo, int hi)
{
    Q_ASSERT(lo <= hi);
    const std::uint64_t range = std::uint64_t(std::int64_t(hi) - std::int64_t(lo)) + 1;
    // The largest multiple of range that fits; draws at or above it are thrown away.
    const std::uint64_t limit =
        std::numeric_limits<std::uint64_t>::max() - std::numeric_limits<std::uint64_t>::max() % range;
    std::uint64_t x;
    do {
        x = next();
    } while (x >= limit);
    return int(std::int64_t(lo) + std::int64_t(x % range));
}

double Random::unit()
{
    return double(next() >> 11) * (1.0 / 9007199254740992.0); // 2^-53
}

std::uint64_t streamSeed(std::uint64_t seed, std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
{
    std::uint64_t h = mix64(seed ^ 0x6a09e667f3bcc908ULL);
    for (const std::uint64_t v : {a, b, c, d})
        h = mix64(h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)));
    return h;
}

} // namespace kpr::demodata
