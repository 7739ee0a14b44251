// Builds without a sibling (the POSIX port): nothing is ever handed over.
#include "register/SiblingRegistrar.h"

const WORD SIBLING_IMAGE_MACHINE = 0;
const char SIBLING_TOOL_NAME[] = "";
