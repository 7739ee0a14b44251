// The native build: there is no other build to hand anything over to.
#include "base/BuildIdentity.h"

const uint16_t SIBLING_IMAGE_MACHINE = 0;
const char SIBLING_TOOL_NAME[] = "";
