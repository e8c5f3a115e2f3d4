// One generator per operating-system thread, created and seeded on its first draw.
#include <cstring>
#include <optional>
#include <string>

#include "chacha_rng.hpp"
#include "engine_error.hpp"
#include "random_source.hpp"

namespace korvane {

namespace {

bool reseed_from_os(Key& key) { return os_random_key(key) == 0; }

ChaChaRng& thread_generator() {
    thread_local std::optional<ChaChaRng> rng;
    if (!rng) {
        Key key;
        if (const int err = os_random_key(key))
            throw EngineError(std::string("could not initialize ThreadRng: ") + std::strerror(err));
        rng.emplace(key, &reseed_from_os);
    }
    return *rng;
}

}  // namespace

std::uint32_t ThreadRandom::next_u32() { return thread_generator().next_u32(); }

std::uint8_t draw_below_3(RandomSource& rng) {
    const std::uint64_t m = 3 * std::uint64_t{rng.next_u32()};
    std::uint64_t h = m >> 32;
    const std::uint64_t l = m & 0xffffffffu;
    if (l > 0xffffffffu - 2) {
        const std::uint64_t m2 = 3 * std::uint64_t{rng.next_u32()};
        if (l + (m2 >> 32) >= (std::uint64_t{1} << 32)) h += 1;
    }
    if (h >= 3) throw EngineError("internal error: entered unreachable code: rng generates in the range 0..3");
    return static_cast<std::uint8_t>(h);
}

}  // namespace korvane
