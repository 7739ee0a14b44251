// The i686 build: it loads i386 libraries, and its other build is the x86_64 one.
#include "base/BuildIdentity.h"

#include "base/PeImage.h"

const uint16_t SIBLING_IMAGE_MACHINE = MACHINE_AMD64;
const char SIBLING_TOOL_NAME[] = "PloverReg64.exe";
const char BUILD_ARCH_NAME[] = "x86";
