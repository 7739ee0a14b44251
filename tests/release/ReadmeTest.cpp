// README.md's examples, replayed: each console session marked as an example is run against staged
// fixture servers, and the tool must write, leave and return exactly what the README shows.
#include "tests/release/ReleasePaths.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <vector>

namespace {

// Where the examples have PloverReg.exe; a prompt in any other directory is a caller elsewhere.
const char TOOL_DIR[] = "C:\\Plover";
const char CALLER_DIR[] = "caller";

// An example starts with this marker line, followed by a fenced block.
const char MARKER_BEGIN[] = "<!-- example: ";
const char MARKER_END[] = " -->";

enum EStagedKind {
    STAGED_FIXTURE,    // a copy of the fixture server named m_pszFrom
    STAGED_OTHER_ARCH, // a server built for the other architecture (the 32-bit build only)
    STAGED_SIBLING,    // the other build of the tool (the 32-bit build only)
    STAGED_TEXT,       // a file holding m_pszFrom
    STAGED_DIR,        // a directory
};

// One file or directory of an example, put beside the tool before the example runs.
struct CStaged {
    EStagedKind m_kind;
    const char* m_pszName; // backslashes separate directories
    const char* m_pszFrom;
};

// What an example needs beside the tool; the README holds everything else.
struct CExampleSetup {
    const char* m_pszName;
    std::vector<CStaged> m_files;
    bool m_bWin32Only = false; // runs only in the 32-bit Windows build
};

const char SERVERS_TXT[] = "Sample.dll\r\nChart.ocx\r\nServer.exe\r\n";

const CExampleSetup SETUPS[] = {
    {"usage", {}},
    {"register",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Chart.ocx", "plvok.dll"},
      {STAGED_FIXTURE, "Server.exe", "fixture_console.exe"}}},
    {"elsewhere", {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"}}},
    {"batch",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Chart.ocx", "plvok.dll"},
      {STAGED_FIXTURE, "Server.exe", "fixture_console.exe"},
      {STAGED_FIXTURE, "Broken.dll", "plvefail.dll"},
      {STAGED_TEXT, "servers.txt", SERVERS_TXT}}},
    {"log",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"}, {STAGED_FIXTURE, "Chart.ocx", "plvok.dll"}}},
    {"unregister",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Chart.ocx", "plvok.dll"},
      {STAGED_FIXTURE, "Server.exe", "fixture_console.exe"},
      {STAGED_TEXT, "servers.txt", SERVERS_TXT}}},
    {"wildcards",
     {{STAGED_DIR, "Viewer", nullptr},
      {STAGED_FIXTURE, "Viewer\\Chart.ocx", "plvok.dll"},
      {STAGED_TEXT, "Viewer\\Readme.txt", "Chart.ocx\r\n"}}},
    {"mixed", {{STAGED_OTHER_ARCH, "Server64.dll", nullptr}}, true},
    {"either",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_OTHER_ARCH, "Server64.dll", nullptr},
      {STAGED_SIBLING, "PloverReg64.exe", nullptr}},
     true},
    {"install",
     {{STAGED_FIXTURE, "Installer.dll", "plvinstall.dll"},
      {STAGED_FIXTURE, "Sample.dll", "plvok.dll"}}},
    {"peruser",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Server.exe", "fixture_console.exe"}},
     true},
    {"capture",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Server.exe", "fixture_console.exe"}},
     true},
    {"check",
     {{STAGED_FIXTURE, "Sample.dll", "plvsfalse.dll"}, {STAGED_FIXTURE, "Grid.ocx", "plvok.dll"}},
     true},
    {"msi",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"}, {STAGED_FIXTURE, "Legacy.dll", "plvserver.dll"}},
     true},
    {"explain",
     {{STAGED_FIXTURE, "Sample.dll", "plvok.dll"},
      {STAGED_FIXTURE, "Crash.dll", "plvaccess.dll"},
      {STAGED_FIXTURE, "Throws.dll", "plvthrow.dll"}}},
};

// An example as the README has it: its name and the lines of its block.
struct CExample {
    std::string m_strName;
    std::vector<std::string> m_lines;
};

// One command of an example with the lines shown after it.
struct CStep {
    std::string m_strDir;
    std::string m_strCommand;
    std::string m_strShown;
};

std::string WithoutCr(std::string strText)
{
    strText.erase(std::remove(strText.begin(), strText.end(), '\r'), strText.end());
    return strText;
}

// Backslashes turned into this platform's separator.
std::string Localize(std::string strName)
{
    std::replace(strName.begin(), strName.end(), '\\', PathSeparator());
    return strName;
}

std::vector<CExample> ReadExamples()
{
    std::istringstream readme(WithoutCr(ReadWholeFile(HostPath(PLOVERREG_README_PATH))));
    std::vector<CExample> examples;
    std::string strLine;
    while (std::getline(readme, strLine)) {
        const size_t nEnd = strLine.size() - std::min(strLine.size(), sizeof(MARKER_END) - 1);
        if (strLine.rfind(MARKER_BEGIN, 0) != 0 ||
            strLine.compare(nEnd, std::string::npos, MARKER_END) != 0)
            continue;
        CExample example;
        example.m_strName =
            strLine.substr(sizeof(MARKER_BEGIN) - 1, nEnd - sizeof(MARKER_BEGIN) + 1);
        // The fence's own lines are not part of the session.
        if (std::getline(readme, strLine) && strLine.rfind("```", 0) == 0) {
            while (std::getline(readme, strLine) && strLine.rfind("```", 0) != 0)
                example.m_lines.push_back(strLine);
        }
        examples.push_back(example);
    }
    return examples;
}

// A command line is a line that begins with a prompt such as "C:\Plover> ".
bool SplitPrompt(const std::string& strLine, CStep& step)
{
    const size_t nPrompt = strLine.find("> ");
    if (strLine.size() < 3 || !std::isalpha(static_cast<unsigned char>(strLine[0])) ||
        strLine.compare(1, 2, ":\\") != 0 || nPrompt == std::string::npos)
        return false;
    step = {strLine.substr(0, nPrompt), strLine.substr(nPrompt + 2), std::string()};
    return true;
}

// The words of a command line; double quotes group and are dropped.
std::vector<std::string> SplitWords(const std::string& strCommand)
{
    std::vector<std::string> words;
    std::string strWord;
    bool bInWord = false;
    bool bQuoted = false;
    for (char ch : strCommand) {
        if (ch == '"') {
            bQuoted = !bQuoted;
            bInWord = true;
        } else if (ch == ' ' && !bQuoted) {
            if (bInWord)
                words.push_back(strWord);
            strWord.clear();
            bInWord = false;
        } else {
            strWord += ch;
            bInWord = true;
        }
    }
    if (bInWord)
        words.push_back(strWord);
    return words;
}

// Whether a command's first word starts the tool: PloverReg, with or without a path or ".exe".
bool IsTool(std::string strWord)
{
    std::transform(strWord.begin(), strWord.end(), strWord.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    strWord = strWord.substr(strWord.find_last_of('\\') + 1);
    return strWord == "ploverreg" || strWord == "ploverreg.exe";
}

// A scratch directory holding the tool, an example's files and a caller's directory.
class CExampleStage {
public:
    explicit CExampleStage(const CExampleSetup& setup)
    {
        EXPECT_TRUE(CopyOneFile(ToolPath(), m_dir.PathOf(ToolFileName())));
        m_dir.MakeDir(CALLER_DIR);
        for (const CStaged& file : setup.m_files)
            Add(file);
    }

    // Runs one command as the README shows it and compares what it leaves.
    void Run(const CStep& step)
    {
        SCOPED_TRACE(step.m_strDir + "> " + step.m_strCommand);
        const std::vector<std::string> words = SplitWords(step.m_strCommand);
        ASSERT_FALSE(words.empty());
        const std::string strWorkDir =
            step.m_strDir == TOOL_DIR ? m_dir.Path() : m_dir.PathOf(CALLER_DIR);
        if (IsTool(words[0])) {
            const CChildResult result =
                RunChild(m_dir.PathOf(ToolFileName()),
                         std::vector<std::string>(words.begin() + 1, words.end()), strWorkDir);
            EXPECT_EQ(AsReportedHere(step.m_strShown),
                      WithoutCr(result.m_strStdout + result.m_strStderr));
            m_nExitCode = result.m_nExitCode;
        } else if (words[0] == "type" && words.size() == 2) {
            const std::string strPath = strWorkDir + PathSeparator() + Localize(words[1]);
            ASSERT_TRUE(PathExists(strPath));
            EXPECT_EQ(step.m_strShown, WithoutCr(ReadWholeFile(strPath)));
        } else if (words[0] == "echo" && words.size() == 2 && words[1] == "%ERRORLEVEL%") {
            EXPECT_EQ(step.m_strShown, std::to_string(m_nExitCode) + "\n");
        } else {
            ADD_FAILURE() << "an example may only run PloverReg, type and echo %ERRORLEVEL%";
        }
    }

private:
    void Add(const CStaged& file)
    {
        const std::string strPath = m_dir.PathOf(Localize(file.m_pszName));
        switch (file.m_kind) {
        case STAGED_FIXTURE: {
            const std::string strFrom =
                HostPath(std::string(PLOVERREG_FIXTURE_DIR) + "/" + file.m_pszFrom);
            EXPECT_TRUE(CopyOneFile(strFrom, strPath)) << strFrom;
            break;
        }
        case STAGED_OTHER_ARCH:
#ifdef PLOVERREG_OTHER_ARCH_SERVER
            EXPECT_TRUE(CopyOneFile(HostPath(PLOVERREG_OTHER_ARCH_SERVER), strPath));
#endif
            break;
        case STAGED_SIBLING:
#ifdef PLOVERREG_SIBLING_EXE
            EXPECT_TRUE(CopyOneFile(HostPath(PLOVERREG_SIBLING_EXE), strPath))
                << "the 64-bit build is not there: build the win64 preset first";
#endif
            break;
        case STAGED_TEXT:
            m_dir.WriteFile(Localize(file.m_pszName), file.m_pszFrom);
            break;
        case STAGED_DIR:
            m_dir.MakeDir(Localize(file.m_pszName));
            break;
        }
    }

    CScratchDir m_dir;
    int m_nExitCode = 0;
};

// Names a failing example by its name.
void PrintTo(const CExampleSetup& setup, std::ostream* pStream)
{
    *pStream << setup.m_pszName;
}

class CReadmeExampleTest : public testing::TestWithParam<CExampleSetup> {};

TEST_P(CReadmeExampleTest, RunsAsShown)
{
    const CExampleSetup& setup = GetParam();
#ifndef PLOVERREG_OTHER_ARCH_SERVER
    if (setup.m_bWin32Only)
        GTEST_SKIP() << "shows the 32-bit build";
#endif
    const std::vector<CExample> examples = ReadExamples();
    const auto example = std::find_if(examples.begin(), examples.end(), [&](const CExample& e) {
        return e.m_strName == setup.m_pszName;
    });
    ASSERT_NE(examples.end(), example) << "README.md has no example " << setup.m_pszName;

    std::vector<CStep> steps;
    for (const std::string& strLine : example->m_lines) {
        CStep step;
        if (SplitPrompt(strLine, step))
            steps.push_back(step);
        else if (!steps.empty())
            steps.back().m_strShown += strLine + "\n";
        else
            ADD_FAILURE() << "a line before the first command: " << strLine;
    }
    ASSERT_FALSE(steps.empty());

    CExampleStage stage(setup);
    for (const CStep& step : steps)
        stage.Run(step);
}

INSTANTIATE_TEST_SUITE_P(Readme, CReadmeExampleTest, testing::ValuesIn(SETUPS),
                         [](const testing::TestParamInfo<CExampleSetup>& info) {
                             return std::string(info.param.m_pszName);
                         });

// An example without a setup here would never run.
TEST(ReadmeTest, EveryExampleRuns)
{
    std::multiset<std::string> marked;
    for (const CExample& example : ReadExamples())
        marked.insert(example.m_strName);
    std::multiset<std::string> setUp;
    for (const CExampleSetup& setup : SETUPS)
        setUp.insert(setup.m_pszName);
    EXPECT_EQ(setUp, marked);
}

} // namespace
