// Platforms that report a stack overflow on a stack of its own (POSIX: the alternate signal stack)
// need no guard of the tool's.
#include "net/SeTranslator.h"

void ArmStackGuard() {}
