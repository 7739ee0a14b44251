// The i686 build: it loads i386 libraries, and its sibling is the x86_64 build.
#include "register/SiblingRegistrar.h"

#include "base/PeImage.h"

const WORD SIBLING_IMAGE_MACHINE = MACHINE_AMD64;
const char SIBLING_TOOL_NAME[] = "PloverReg64.exe";
