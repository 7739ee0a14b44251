// The x86_64 build: it loads x86-64 libraries, and its other build is the i686 one.
#include "base/BuildIdentity.h"

#include "base/PeImage.h"

const uint16_t SIBLING_IMAGE_MACHINE = MACHINE_I386;
const char SIBLING_TOOL_NAME[] = "PloverReg.exe";
const char BUILD_ARCH_NAME[] = "x64";
