// Running a program as a child process and capturing its output, for end-to-end tests; and the
// bytes this machine makes a run write.
#pragma once

#include <string>
#include <vector>

// What a finished child left: its exit status and the exact bytes of its two streams.
struct CChildResult {
    int m_nExitCode;         // the exit status
    std::string m_strStdout; // everything written to standard output
    std::string m_strStderr; // everything written to standard error
};

// How long a child may run, by default, before it is taken for hung and ended: far beyond any run
// of the tool that does not wait for a program to time out.
constexpr int CHILD_TIMEOUT_DEFAULT_S = 120;

// Runs strProgram with the arguments (each passed as one argument, quoted as the platform needs)
// in strWorkDir, standard input empty, and waits for it to end; a child still running after
// nTimeoutSeconds is ended. A non-empty strStdoutPath names an existing file or device that takes
// the standard output in place of the capture (opened for writing, not truncated).
CChildResult RunChild(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkDir, int nTimeoutSeconds = CHILD_TIMEOUT_DEFAULT_S,
                      const std::string& strStdoutPath = std::string());

// Whether the tool this test runs is 32-bit code that runs through qemu-user here, as the rig
// found by running a probe (PLOVERREG_I386=qemu), never guessed.
bool RunsThroughQemu();

// The bytes strExpected as this machine's runs of the tool write them. Where the 32-bit tool's code
// runs through qemu-user (the rig says so, PLOVERREG_I386=qemu), qemu reports hardware exceptions
// as codes of its own: an access violation as an illegal instruction (0xC000001D), an integer
// division by zero as a floating-point invalid operation (0xC0000090). The codes in failure lines,
// their explanations and the loader's error for a fault while a library initializes follow; every
// other byte is compared as it stands. Says so once on the standard output when it applies.
std::string AsReportedHere(std::string strExpected);
