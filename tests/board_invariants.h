// The rules every reachable board obeys, checked by the property tests, the
// fuzzer and the message-abuse test alike.
#pragma once

#include <string>

// Empty when the board is consistent; otherwise what is wrong with it.
std::string BoardInvariantViolation();
