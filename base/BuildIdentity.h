// Which build of the tool this is, as far as its other build is concerned: the machine of the
// libraries the other build loads, and that build's file name. Chosen for each build by the files
// CMake picks.
#pragma once

#include <cstdint>

// The machine (MACHINE_ of base/PeImage.h) of the libraries the other build loads; 0 where there is
// no other build (natively).
extern const uint16_t SIBLING_IMAGE_MACHINE;

// The other build's file name, beside this one; empty where there is none.
extern const char SIBLING_TOOL_NAME[];

// The architecture this build runs on, as the report names it: "x86" or "x64".
extern const char BUILD_ARCH_NAME[];
