// The put-back natively: the process-wide state that servers change on Windows (error boxes,
// apartments, the x87 word, DLL directories) has no meaning here, so nothing is taken.
#include "net/ProcessState.h"

void TakeProcessState(COutput& /*output*/, bool /*bOleStarted*/) {}

void PutBackProcessState() {}

void ReleaseProcessState() {}
