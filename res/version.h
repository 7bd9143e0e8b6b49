// The program's version, for the version resource. Keep it equal to the
// project version in CMakeLists.txt (the resource tests compare them).
#pragma once

#define GLIDORA_VERSION 1, 0, 0, 0
#define GLIDORA_VERSION_TEXT "1.0.0.0"
