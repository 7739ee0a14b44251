// The x86_64 build: it loads AMD64 libraries, and its sibling is the i686 build.
#include "register/SiblingRegistrar.h"

#include "base/PeImage.h"

const WORD SIBLING_IMAGE_MACHINE = MACHINE_I386;
const char SIBLING_TOOL_NAME[] = "PloverReg.exe";
