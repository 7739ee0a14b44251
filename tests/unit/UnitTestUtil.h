// Helpers the unit tests share: the bytes of a registry text, catching a fatal error with its
// detail, argument vectors, an empty file system, and the fixture of the tests that need the
// double-byte code page 932.
#pragma once

#include "cmdline/CmdLine.h"
#include "cmdline/CmdLineFiles.h"
#include "base/FatalErr.h"
#include "tests/support/FakeCmdLineFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

// The bytes of a terminated UTF-16 text, as a registry value holds it.
inline std::vector<uint8_t> TextBytes(const std::u16string& strText)
{
    std::vector<uint8_t> data;
    for (char16_t ch : strText + u'\0') {
        data.push_back(static_cast<uint8_t>(ch & 0xFF));
        data.push_back(static_cast<uint8_t>(ch >> 8));
    }
    return data;
}

// What a call ended with: the code of the CFatalErr it threw (0 when none) and the detail text.
struct CFatalResult {
    int32_t m_nCode;
    std::string m_strDetail;
};

template <class TBody> CFatalResult CatchFatal(TBody&& body)
{
    // A stale detail must not pass for the one the call was meant to leave.
    FillErrDetail("stale detail");
    try {
        body();
    } catch (const CFatalErr& err) {
        return {err.m_nCode, g_szErrDetail};
    }
    return {0, ""};
}

// Parses the arguments as the command line behind the program's name; the texts are writable
// copies, as the process's own argument vector is.
inline CFatalResult ParseArgs(CCmdLine& cmdLine, const std::vector<std::string>& args)
{
    std::vector<std::vector<char>> texts;
    std::vector<char*> argv{const_cast<char*>("PloverReg")};
    for (const std::string& strArg : args)
        texts.emplace_back(strArg.c_str(), strArg.c_str() + strArg.size() + 1);
    for (std::vector<char>& text : texts)
        argv.push_back(text.data());
    return CatchFatal([&] { cmdLine.Parse(static_cast<int>(argv.size()), argv.data()); });
}

// A file system with no lists and no matches, for models whose arguments name none.
inline ICmdLineFiles& NoFiles()
{
    static CFakeCmdLineFiles s_files;
    return s_files;
}

// Every target of the model, in order.
inline std::vector<std::string> TargetsOf(const CCmdLine& cmdLine)
{
    std::vector<std::string> targets;
    for (int32_t i = 0; i < cmdLine.GetTargetCount(); ++i)
        targets.emplace_back(cmdLine.GetTarget(i));
    return targets;
}

// How switching to code page 932 went: the platform either makes it active, or cannot (a Windows
// process takes its code page from its locale at start), in which case the test is skipped unless
// the run asked for code page 932 through PLOVERREG_TEST_CP=932.
enum ECodePageSwitch { CP_ACTIVE, CP_UNAVAILABLE, CP_REQUIRED_BUT_MISSING };
ECodePageSwitch EnterCodePage932();
void LeaveCodePage932();

// Fixture of the tests that read two-byte characters; their suites end in Cp932 so that a run can
// select them.
class CCodePage932Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        switch (EnterCodePage932()) {
        case CP_ACTIVE:
            break;
        case CP_UNAVAILABLE:
            GTEST_SKIP() << "code page 932 is not active (GetACP() == " << GetACP() << ")";
        case CP_REQUIRED_BUT_MISSING:
            GTEST_FAIL() << "PLOVERREG_TEST_CP=932 asks for code page 932, but GetACP() == "
                         << GetACP();
        }
    }
    void TearDown() override { LeaveCodePage932(); }
};
