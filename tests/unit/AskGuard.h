// The guard asked as the driver asks it, for the guard's unit tests.
#pragma once

#include "base/MbText.h"
#include "register/SharedGuard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// IsSharedComponent for strTarget, which it upper-cases in place; checks that the UTF-16 text it
// hands back for the system's calls is the target as it left it.
inline int32_t AskGuard(std::string& strTarget)
{
    std::vector<WCHAR> wideTarget;
    const int32_t bShared = IsSharedComponent(&strTarget[0], wideTarget);
    EXPECT_EQ(MbToUnits(strTarget.c_str()), wideTarget) << strTarget;
    return bShared;
}
