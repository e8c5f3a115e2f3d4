// Where measurements take their randomness from. The engine draws 32-bit values only;
// how a bit or an axis is taken from a value is fixed by the engine, not the source.
#pragma once

#include <cstdint>

namespace korvane {

class RandomSource {
public:
    virtual std::uint32_t next_u32() = 0;

protected:
    ~RandomSource() = default;
};

// The calling thread's generator, reached lazily so that an operation that draws
// nothing never seeds it (and never fails for lack of a seed).
class ThreadRandom final : public RandomSource {
public:
    std::uint32_t next_u32() override;
};

// A uniform integer below 3 from one value, and a second one only when the first
// lands in the last two of 2^32 slots.
std::uint8_t draw_below_3(RandomSource& rng);

}  // namespace korvane
