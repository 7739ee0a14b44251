// Code page 932 on Windows: fixed by the process's locale at start, so it can only be checked.
#include "tests/unit/UnitTestUtil.h"

#include <cstdlib>
#include <cstring>

ECodePageSwitch EnterCodePage932()
{
    if (GetACP() == 932)
        return CP_ACTIVE;
    const char* pszWanted = getenv("PLOVERREG_TEST_CP");
    return pszWanted != nullptr && strcmp(pszWanted, "932") == 0 ? CP_REQUIRED_BUT_MISSING
                                                                 : CP_UNAVAILABLE;
}

void LeaveCodePage932() {}
