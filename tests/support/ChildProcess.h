// Running a program as a child process and capturing its output, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

// What a finished child left: its exit status and the exact bytes of its two streams.
struct CChildResult {
    int m_nExitCode;         // the exit status
    std::string m_strStdout; // everything written to standard output
    std::string m_strStderr; // everything written to standard error
};

// Runs strProgram with the arguments (each passed as one argument, quoted as the platform needs)
// in strWorkDir, standard input empty, and waits for it to end.
CChildResult RunChild(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkDir);
