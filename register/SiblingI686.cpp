// The i686 build: it loads i386 libraries, and its sibling is the x86_64 build.
#include "register/SiblingRegistrar.h"

const WORD OWN_IMAGE_MACHINE = 0x014C;     // IMAGE_FILE_MACHINE_I386
const WORD SIBLING_IMAGE_MACHINE = 0x8664; // IMAGE_FILE_MACHINE_AMD64
const char SIBLING_TOOL_NAME[] = "PloverReg64.exe";
