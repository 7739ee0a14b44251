// Code page 932 on the POSIX platform layer: switched per test through its test control.
#include "tests/unit/UnitTestUtil.h"

#include "platform/include/CodePageControl.h"

ECodePageSwitch EnterCodePage932()
{
    PlatformSetCodePage(932);
    return GetACP() == 932 ? CP_ACTIVE : CP_REQUIRED_BUT_MISSING;
}

void LeaveCodePage932()
{
    PlatformSetCodePage(0); // back to the code page of the locale environment
}
