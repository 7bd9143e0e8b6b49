// The engine's own random generator. It follows the classic srand/rand
// recurrence exactly, so that a given seed always yields the same scramble on
// every platform; a C library whose rand differs would not.
#pragma once

#include <cstdint>

constexpr int RANDOM_MAX = 0x7FFF;

void SeedRandom(uint32_t seed);

// Next number from 0 to RANDOM_MAX.
int NextRandom();
