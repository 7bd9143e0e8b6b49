#include "random.h"

constexpr uint32_t RANDOM_MULTIPLIER = 214013;
constexpr uint32_t RANDOM_INCREMENT = 2531011;
constexpr int RANDOM_SHIFT = 16;

static uint32_t randomState = 1;

void SeedRandom(uint32_t seed) {
    randomState = seed;
}

int NextRandom() {
    // Unsigned arithmetic wraps modulo 2^32, as the recurrence requires.
    randomState = randomState * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return static_cast<int>((randomState >> RANDOM_SHIFT) & RANDOM_MAX);
}
