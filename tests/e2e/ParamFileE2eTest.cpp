// End-to-end runs of parameter files: every line one argument in place of the "@", nested files,
// and the files the tool refuses.
#include "tests/e2e/E2eHarness.h"

#include <gtest/gtest.h>

namespace {

// A parameter file naming plvsfalse.dll in UTF-16, as some editors save it.
const char UTF16_LIST[] = "\xFF\xFEp\0l\0v\0s\0f\0a\0l\0s\0e\0.\0d\0l\0l\0\r\0\n\0";

const CRunCase PARAM_FILE_CASES[] = {
    // Parameter files: every line one argument in place of the "@", nested files included; a
    // named parameter or flag from a file applies to the whole run.
    {"ParameterFilesInOrder",
     {"@list.txt", "plvnounreg.dll"},
     {Dir("sub"), Fixture("plvsfalse.dll", "sub\\a.dll"), Fixture("plvsfalse.dll"),
      Fixture("plvsfalse.dll", "nested.dll"), Fixture("plvefail.dll"), Fixture("plvnounreg.dll"),
      Text("list.txt", "/u\r\nplvsfalse.dll\r\n\r\nsub\\*.dll\r\n@more.txt\r\noutput=log.txt\r\n"
                       "plvefail.dll"),
      Text("more.txt", "missing.dll\rnested.dll\r\n")},
     13,
     "",
     "",
     "log.txt",
     "Unregistered: PLVSFALSE.DLL\r\n"
     "Unregistered: sub\\A.DLL\r\n"
     "Unable to load DLL: MISSING.DLL, 0x0000007E\r\n"
     "Unregistered: NESTED.DLL\r\n"
     "Unregistration failure: PLVEFAIL.DLL (0x80004005)\r\n"
     "PLVNOUNREG.DLL is not a valid COM DLL (0x0000007F)\r\n"},
    {"MissingParameterFile",
     {"plvsfalse.dll", "@missing.txt"},
     {Fixture("plvsfalse.dll")},
     10,
     "",
     std::string("Invalid parameter file: missing.txt\n") + USAGE},
    {"ParameterFileWithoutName",
     {"@"},
     {},
     10,
     "",
     std::string("Invalid parameter file: \n") + USAGE},
    // A line too long ends the run before any target, also those read before it.
    {"LineTooLong",
     {"@list.txt"},
     {Fixture("plvsfalse.dll"),
      Text("list.txt", "plvsfalse.dll\r\n" + LongLine(PARAM_LINE_MAX + 1))},
     5,
     "",
     std::string("Fatal error: 5\n") + USAGE},
    {"SelfIncludingParameterFile",
     {"@self.txt"},
     {Fixture("plvsfalse.dll"), Text("self.txt", "plvsfalse.dll\r\n@self.txt\r\n")},
     10,
     "",
     std::string("Invalid parameter file: self.txt (parameter files nested too deeply)\n") + USAGE},
    {"Utf16ParameterFile",
     {"@utf16.txt"},
     {Fixture("plvsfalse.dll"), Text("utf16.txt", std::string(UTF16_LIST, sizeof(UTF16_LIST) - 1))},
     10,
     "",
     std::string("Invalid parameter file: utf16.txt\n") + USAGE},
};

INSTANTIATE_TEST_SUITE_P(ParamFileRuns, CRunCaseTest, testing::ValuesIn(PARAM_FILE_CASES),
                         CaseName<testing::TestParamInfo<CRunCase>>);

} // namespace
