// One generator per operating-system thread, created and seeded on its first draw.
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "chacha_rng.hpp"
#include "engine_error.hpp"
#include "random_source.hpp"

namespace korvane {

namespace {

bool reseed_from_os(Key& key) { return os_random_key(key) == 0; }

// A forked child inherits its parent's generator state; without a fresh key it would
// replay the parent's outcomes. Every fork bumps this count, and a generator seeded
// before the current count takes a new key from the operating system.
std::atomic<unsigned> g_forks{0};

void count_fork() noexcept { g_forks.fetch_add(1, std::memory_order_relaxed); }

struct ThreadGenerator {
    std::optional<ChaChaRng> rng;
    unsigned seeded_at_fork = 0;
};

ChaChaRng& thread_generator() {
    static std::once_flag fork_hook;
    std::call_once(fork_hook, [] { pthread_atfork(nullptr, nullptr, &count_fork); });
    thread_local ThreadGenerator gen;
    const unsigned forks = g_forks.load(std::memory_order_relaxed);
    if (!gen.rng || gen.seeded_at_fork != forks) {
        Key key;
        if (const int err = os_random_key(key))
            throw EngineError(std::string("could not initialize ThreadRng: ") + std::strerror(err));
        gen.rng.emplace(key, &reseed_from_os);
        gen.seeded_at_fork = forks;
    }
    return *gen.rng;
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
