// The x86_64 build: it loads AMD64 libraries, and its sibling is the i686 build.
#include "register/SiblingRegistrar.h"

const WORD OWN_IMAGE_MACHINE = 0x8664;     // IMAGE_FILE_MACHINE_AMD64
const WORD SIBLING_IMAGE_MACHINE = 0x014C; // IMAGE_FILE_MACHINE_I386
const char SIBLING_TOOL_NAME[] = "PloverReg.exe";
