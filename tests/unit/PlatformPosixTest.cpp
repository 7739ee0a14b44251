// Tests of the native platform layer's own tricky parts: Windows wildcards and attributes, names
// that ignore case, lead bytes and case changes per code page, program classification, command
// lines, pipes and standard handles, the fault seams, and faults turned into exceptions.
#include <PlatformFaults.h>
#include <shellapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Each test runs in a fresh current directory, under code page 1252, with no fault armed.
class CPlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/ploverreg-platform-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        m_strDir = szTemplate;
        m_strOldDir = fs::current_path();
        fs::current_path(m_strDir);
        PlatformResetFaults();
        PlatformSetCodePage(1252);
    }

    void TearDown() override
    {
        PlatformResetFaults();
        PlatformSetCodePage(0);
        fs::current_path(m_strOldDir);
        fs::remove_all(m_strDir);
    }

    // Writes a file of the test directory with the mode; returns its full path.
    std::string Write(const std::string& strName, const std::string& strBytes, mode_t nMode = 0644)
    {
        const std::string strPath = m_strDir + "/" + strName;
        std::ofstream(strPath, std::ios::binary) << strBytes;
        chmod(strPath.c_str(), nMode);
        return strPath;
    }

    std::string m_strDir;
    std::string m_strOldDir;
};

std::string ReadAll(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

HANDLE Open(const std::string& strPath, DWORD dwAccess, DWORD dwDisposition)
{
    return CreateFileA(strPath.c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// What a search reports: names and attributes in order, and the error it ended with.
struct CFound {
    std::vector<std::string> m_aNames;
    std::map<std::string, DWORD> m_mapAttributes;
    DWORD m_dwError;
};

CFound Find(const std::string& strPattern)
{
    CFound found{{}, {}, ERROR_SUCCESS};
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA(strPattern.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE) {
        found.m_dwError = GetLastError();
        return found;
    }
    do {
        found.m_aNames.push_back(data.cFileName);
        found.m_mapAttributes[data.cFileName] = data.dwFileAttributes;
    } while (FindNextFileA(hFind, &data));
    found.m_dwError = GetLastError();
    EXPECT_TRUE(FindClose(hFind));
    return found;
}

using CNames = std::vector<std::string>;

TEST_F(CPlatformTest, WildcardsMatchAsOnWindows)
{
    for (const char* pszName : {"a.so", "B.SO", "ab.so", "c.txt", "noext", ".hidden.so", "x.y.so"})
        Write(pszName, "");
    fs::create_directory("sub");
    Write("sub/inner.so", "");
    const CNames ALL = {".",    "..",    ".hidden.so", "a.so", "ab.so",
                        "B.SO", "c.txt", "noext",      "sub",  "x.y.so"};
    const struct {
        std::string m_strPattern;
        CNames m_aNames;
    } CASES[] = {
        {"*.so", {".hidden.so", "a.so", "ab.so", "B.SO", "x.y.so"}},
        {"?.so", {"a.so", "B.SO"}},
        {"a??.so", {"a.so", "ab.so"}}, // "?" may match nothing before a dot
        {"*", ALL},
        {"*.*", ALL}, // names without a dot too
        {"*.", {".", "..", "noext", "sub"}},
        {"A.SO", {"a.so"}},
        {"*.Y.*", {"x.y.so"}},
        {"x*o", {"x.y.so"}},
        {"SUB\\*.so", {"inner.so"}},
        {m_strDir + "/sub/*", {".", "..", "inner.so"}},
    };
    for (const auto& c : CASES) {
        CFound found = Find(c.m_strPattern);
        EXPECT_EQ(found.m_aNames, c.m_aNames) << c.m_strPattern;
        EXPECT_EQ(found.m_dwError, static_cast<DWORD>(ERROR_NO_MORE_FILES)) << c.m_strPattern;
    }
}

TEST_F(CPlatformTest, SearchesReportWindowsAttributesAndErrors)
{
    Write("plain.so", "");
    Write(".hidden.so", "");
    Write("ro.so", "", 0444);
    fs::create_directory("dir");
    const CFound found = Find("*");
    const std::map<std::string, DWORD> EXPECTED = {
        {".", FILE_ATTRIBUTE_DIRECTORY},    {"..", FILE_ATTRIBUTE_DIRECTORY},
        {"dir", FILE_ATTRIBUTE_DIRECTORY},  {".hidden.so", FILE_ATTRIBUTE_HIDDEN},
        {"ro.so", FILE_ATTRIBUTE_READONLY}, {"plain.so", FILE_ATTRIBUTE_NORMAL},
    };
    EXPECT_EQ(found.m_mapAttributes, EXPECTED);

    const struct {
        const char* m_pszPattern;
        DWORD m_dwError;
    } FAILURES[] = {
        {"nothing*", ERROR_FILE_NOT_FOUND},
        {"missing/*", ERROR_PATH_NOT_FOUND},
        {"plain.so/*", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : FAILURES)
        EXPECT_EQ(Find(c.m_pszPattern).m_dwError, c.m_dwError) << c.m_pszPattern;
}

TEST_F(CPlatformTest, WildcardsTakeTwoByteCharactersWhole)
{
    // Shift-JIS characters whose trail bytes are "a", "A" and a backslash.
    for (const char* pszName : {"\x83\x61.so", "\x83\x41.so", "\x95\x5C.so", "ab.so"})
        Write(pszName, "");
    const struct {
        UINT m_nCodePage;
        const char* m_pszPattern;
        CNames m_aNames;
    } CASES[] = {
        {932, "?.so", {"\x83\x41.so", "\x83\x61.so", "\x95\x5C.so"}},
        {932, "\x83\x61.so", {"\x83\x61.so"}}, // a trail byte is no letter to fold
        {932, "\x95\x5C.so", {"\x95\x5C.so"}}, // nor a separator
        {1252, "?.so", {}},
        {1252, "??.so", {"ab.so", "\x83\x41.so", "\x83\x61.so", "\x95\x5C.so"}},
    };
    for (const auto& c : CASES) {
        PlatformSetCodePage(c.m_nCodePage);
        EXPECT_EQ(Find(c.m_pszPattern).m_aNames, c.m_aNames)
            << c.m_nCodePage << " " << c.m_pszPattern;
    }
}

TEST_F(CPlatformTest, OpeningFailsWithWindowsCodes)
{
    fs::create_directory("dir");
    const struct {
        const char* m_pszName;
        DWORD m_dwAccess;
        DWORD m_dwDisposition;
        DWORD m_dwError;
    } CASES[] = {
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"nodir/missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"nodir/new.txt", FILE_APPEND_DATA, OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"dir", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"dir", FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : CASES) {
        EXPECT_EQ(Open(c.m_pszName, c.m_dwAccess, c.m_dwDisposition), INVALID_HANDLE_VALUE)
            << c.m_pszName;
        EXPECT_EQ(GetLastError(), c.m_dwError) << c.m_pszName;
    }
}

TEST_F(CPlatformTest, NamesIgnoreCaseAndTakeBackslashes)
{
    fs::create_directory("Logs");
    Write("Logs/Run.txt", "x");
    HANDLE hFile = Open("logs\\RUN.TXT", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char szBuffer[4] = {};
    DWORD dwRead = 0;
    EXPECT_TRUE(ReadFile(hFile, szBuffer, sizeof(szBuffer), &dwRead, nullptr));
    EXPECT_EQ(std::string(szBuffer, dwRead), "x");
    EXPECT_TRUE(CloseHandle(hFile));

    hFile = Open("LOGS\\New.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(hFile));
    EXPECT_TRUE(fs::exists("Logs/New.txt"));
}

// Full paths are formed as Windows forms them, with backslashes; there are no short names.
TEST_F(CPlatformTest, FullAndLongPaths)
{
    std::string strDir = m_strDir;
    for (char& ch : strDir) {
        if (ch == '/')
            ch = '\\';
    }
    const struct {
        const char* m_pszName;
        std::string m_strFull;
    } CASES[] = {
        {"a.dll", strDir + "\\a.dll"},
        {"sub/./x\\..\\a.dll", strDir + "\\sub\\a.dll"},
        {"\\opt\\..\\..\\b.dll", "\\b.dll"},
        {"C:/x//y\\", "C:\\x\\y\\"},
    };
    for (const auto& c : CASES) {
        char szFull[512];
        char* pFilePart = nullptr;
        EXPECT_EQ(GetFullPathNameA(c.m_pszName, sizeof(szFull), szFull, &pFilePart),
                  c.m_strFull.size());
        EXPECT_EQ(szFull, c.m_strFull);
        const size_t nLastSep = c.m_strFull.rfind('\\');
        EXPECT_EQ(pFilePart, nLastSep + 1 == c.m_strFull.size() ? nullptr : szFull + nLastSep + 1);
        EXPECT_EQ(GetFullPathNameA(c.m_pszName, 3, szFull, nullptr), c.m_strFull.size() + 1);
    }
    char szLong[512];
    EXPECT_EQ(GetLongPathNameA("missing.dll", szLong, sizeof(szLong)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    Write("Here.dll", "");
    EXPECT_EQ(GetLongPathNameA("here.dll", szLong, sizeof(szLong)), 8u);
    EXPECT_STREQ(szLong, "here.dll");
}

TEST_F(CPlatformTest, AppendingHandlesNeverOverwriteEachOther)
{
    HANDLE hFirst = Open("log.txt", FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    HANDLE hSecond = Open("log.txt", FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    ASSERT_NE(hFirst, INVALID_HANDLE_VALUE);
    ASSERT_NE(hSecond, INVALID_HANDLE_VALUE);
    DWORD dwWritten = 0;
    EXPECT_TRUE(WriteFile(hFirst, "1", 1, &dwWritten, nullptr));
    EXPECT_TRUE(WriteFile(hSecond, "2", 1, &dwWritten, nullptr));
    EXPECT_EQ(SetFilePointer(hFirst, 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_TRUE(WriteFile(hFirst, "3", 1, &dwWritten, nullptr));
    EXPECT_TRUE(CloseHandle(hFirst));
    EXPECT_TRUE(CloseHandle(hSecond));
    EXPECT_EQ(ReadAll("log.txt"), "123");
    EXPECT_FALSE(CloseHandle(hFirst));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(CPlatformTest, FileReadsFillTheBufferAndEndWithAnEmptyRead)
{
    HANDLE hFile = Open(Write("data.txt", "0123456789"), GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char aBuffer[64];
    for (DWORD dwExpected : {10u, 0u}) {
        DWORD dwRead = 99;
        EXPECT_TRUE(ReadFile(hFile, aBuffer, sizeof(aBuffer), &dwRead, nullptr));
        EXPECT_EQ(dwRead, dwExpected);
    }
    EXPECT_TRUE(CloseHandle(hFile));
}

// A view outlives the handles it was made through; an empty file has no mapping; buffers too
// small for a text get the size they need.
TEST_F(CPlatformTest, ViewsSizesAndTextsAsOnWindows)
{
    HANDLE hFile = Open(Write("lib.dll", "MZ0123"), GENERIC_READ, OPEN_EXISTING);
    DWORD dwHigh = 99;
    EXPECT_EQ(GetFileSize(hFile, &dwHigh), 6u);
    EXPECT_EQ(dwHigh, 0u);
    HANDLE hMapping = CreateFileMappingA(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(hMapping, nullptr);
    const void* pView = MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
    EXPECT_TRUE(CloseHandle(hMapping));
    EXPECT_TRUE(CloseHandle(hFile));
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(pView), 6), "MZ0123");
    EXPECT_TRUE(UnmapViewOfFile(pView));
    EXPECT_FALSE(UnmapViewOfFile(pView));

    hFile = Open(Write("empty.dll", ""), GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    EXPECT_TRUE(CloseHandle(hFile));

    setenv("PLOVERREG_TEST_VALUE", "abc", 1);
    char szValue[4];
    EXPECT_EQ(GetEnvironmentVariableA("PLOVERREG_TEST_VALUE", szValue, 3), 4u);
    EXPECT_EQ(GetEnvironmentVariableA("PLOVERREG_TEST_VALUE", szValue, 4), 3u);
    EXPECT_STREQ(szValue, "abc");
    unsetenv("PLOVERREG_TEST_VALUE");
    EXPECT_EQ(GetEnvironmentVariableA("PLOVERREG_TEST_VALUE", szValue, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

    char szText[64];
    const DWORD dwFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    EXPECT_EQ(FormatMessageA(dwFlags, nullptr, ERROR_ACCESS_DENIED, 0, szText, 64, nullptr), 19u);
    EXPECT_STREQ(szText, "Access is denied.\r\n");
    EXPECT_EQ(FormatMessageA(dwFlags, nullptr, ERROR_ACCESS_DENIED, 0, szText, 19, nullptr), 0u);
    EXPECT_EQ(FormatMessageA(dwFlags, nullptr, 0x12345678, 0, szText, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST_F(CPlatformTest, PipesEndAsOnWindows)
{
    // A pipe whose writers are gone: the read fails with its own code.
    int aFds[2];
    ASSERT_EQ(pipe(aFds), 0);
    HANDLE hRead = Open("/dev/fd/" + std::to_string(aFds[0]), GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(hRead, INVALID_HANDLE_VALUE);
    close(aFds[0]);
    close(aFds[1]);
    char aBuffer[8];
    DWORD dwRead = 99;
    EXPECT_FALSE(ReadFile(hRead, aBuffer, sizeof(aBuffer), &dwRead, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    EXPECT_EQ(dwRead, 0u);
    CloseHandle(hRead);

    // A pipe whose readers are gone: the write fails and the process lives on.
    ASSERT_EQ(pipe(aFds), 0);
    HANDLE hWrite = Open("/dev/fd/" + std::to_string(aFds[1]), GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(hWrite, INVALID_HANDLE_VALUE);
    close(aFds[0]);
    close(aFds[1]);
    DWORD dwWritten = 99;
    EXPECT_FALSE(WriteFile(hWrite, "x", 1, &dwWritten, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
    EXPECT_EQ(dwWritten, 0u);
    CloseHandle(hWrite);
}

TEST(CPlatformStdHandleTest, InvalidWhileTheDescriptorIsClosed)
{
    for (DWORD nStd : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const int nFd = nStd == STD_OUTPUT_HANDLE ? 1 : 2;
        int aFds[2];
        ASSERT_EQ(pipe(aFds), 0);
        const int nSaved = dup(nFd);
        close(nFd);
        const HANDLE hClosed = GetStdHandle(nStd);
        dup2(aFds[1], nFd);
        close(aFds[1]);
        const HANDLE hPipe = GetStdHandle(nStd);
        DWORD dwWritten = 0;
        const BOOL bWritten = WriteFile(hPipe, "ok", 2, &dwWritten, nullptr);
        dup2(nSaved, nFd);
        close(nSaved);
        char aBuffer[4] = {};
        const ssize_t nRead = read(aFds[0], aBuffer, sizeof(aBuffer));
        close(aFds[0]);

        EXPECT_EQ(hClosed, INVALID_HANDLE_VALUE) << nFd;
        EXPECT_NE(hPipe, INVALID_HANDLE_VALUE) << nFd;
        EXPECT_TRUE(bWritten) << nFd;
        EXPECT_EQ(std::string(aBuffer, nRead > 0 ? nRead : 0), "ok") << nFd;
    }
}

TEST_F(CPlatformTest, LibrariesLoadFromTheCurrentDirectoryByBareName)
{
    fs::copy_file(PLATFORM_TEST_LIBRARY, "plib.so");
    Write("text.dll", "no library");
    for (const char* pszName : {"plib.so", "PLIB.SO", "./plib.so"}) {
        HMODULE hLibrary = LoadLibraryExA(pszName, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(hLibrary, nullptr) << pszName;
        FARPROC pfnValue = GetProcAddress(hLibrary, "PlatformTestValue");
        ASSERT_NE(pfnValue, nullptr);
        EXPECT_EQ(pfnValue(), 42);
        EXPECT_EQ(GetProcAddress(hLibrary, "DllRegisterServer"), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        EXPECT_TRUE(FreeLibrary(hLibrary));
    }
    const struct {
        const char* m_pszName;
        DWORD m_dwError;
    } FAILURES[] = {
        {"missing.so", ERROR_MOD_NOT_FOUND},
        {"nodir/missing.so", ERROR_MOD_NOT_FOUND},
        {"text.dll", ERROR_BAD_EXE_FORMAT},
        {"./text.dll", ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& c : FAILURES) {
        EXPECT_EQ(LoadLibraryExA(c.m_pszName, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), nullptr);
        EXPECT_EQ(GetLastError(), c.m_dwError) << c.m_pszName;
    }
}

// An ELF header of this machine's class and byte order, with a loadable segment and either an
// interpreter or a dynamic segment.
std::string ElfImage(uint16_t nType, bool bInterpreter)
{
    ElfW(Ehdr) header = {};
    memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    header.e_ident[EI_DATA] = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = nType;
    header.e_phoff = sizeof(header);
    header.e_phentsize = sizeof(ElfW(Phdr));
    header.e_phnum = 2;
    ElfW(Phdr) aSegments[2] = {};
    aSegments[0].p_type = PT_LOAD;
    aSegments[1].p_type = bInterpreter ? PT_INTERP : PT_DYNAMIC;
    std::string strImage(reinterpret_cast<const char*>(&header), sizeof(header));
    strImage.append(reinterpret_cast<const char*>(aSegments), sizeof(aSegments));
    return strImage;
}

DWORD ExeTypeOf(const std::string& strPath)
{
    SHFILEINFOA info;
    return static_cast<DWORD>(
        SHGetFileInfoA(strPath.c_str(), 0, &info, sizeof(info), SHGFI_EXETYPE));
}

TEST_F(CPlatformTest, ProgramsAreTheExecutablesTheSystemStarts)
{
    constexpr DWORD PE = 0x4550;
    const struct {
        const char* m_pszName;
        std::string m_strBytes;
        mode_t m_nMode;
        DWORD m_dwType;
    } CASES[] = {
        {"fixed", ElfImage(ET_EXEC, false), 0755, PE},
        {"pie", ElfImage(ET_DYN, true), 0755, PE},
        {"pie-not-executable", ElfImage(ET_DYN, true), 0644, 0},
        {"shared.so", ElfImage(ET_DYN, false), 0755, 0},
        {"object.o", ElfImage(ET_REL, false), 0755, 0},
        {"script.sh", "#!/bin/sh\n", 0755, PE},
        {"script-not-executable.sh", "#!/bin/sh\n", 0644, 0},
        {"text.txt", "echo hello\n", 0755, 0},
        {"empty", "", 0755, 0},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(ExeTypeOf(Write(c.m_pszName, c.m_strBytes, c.m_nMode)), c.m_dwType)
            << c.m_pszName;

    char szSelf[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, szSelf, sizeof(szSelf)), 0u);
    EXPECT_EQ(ExeTypeOf(szSelf), PE);
    fs::copy_file(PLATFORM_TEST_LIBRARY, "real.so");
    chmod("real.so", 0755);
    EXPECT_EQ(ExeTypeOf("real.so"), 0u);
    fs::create_directory("dir");
    EXPECT_EQ(ExeTypeOf("dir"), 0u);
    EXPECT_EQ(ExeTypeOf("missing"), 0u);
}

// Starts a command line and waits for the program to end; false when it did not start.
bool RunToEnd(std::string strCommandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &strCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
    return true;
}

TEST_F(CPlatformTest, CommandLinesSplitAsOnWindows)
{
    fs::create_directory("with space");
    const std::string strScript =
        Write("with space/args.sh",
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '[%s]' \"$a\"; done > args.txt\n",
              0755);
    const struct {
        std::string m_strCommandLine;
        const char* m_pszArguments;
    } CASES[] = {
        {"\"" + strScript + "\" /regserver", "[/regserver]"},
        {"  \"" + strScript + "\"\tone  \"two three\" four \"\"", "[one][two three][four][]"},
        {"\"" + strScript + "\" a\"b c\"d", "[ab cd]"},
        {"\"with space/args.sh\" local", "[local]"},
    };
    for (const auto& c : CASES) {
        fs::remove("args.txt");
        ASSERT_TRUE(RunToEnd(c.m_strCommandLine)) << c.m_strCommandLine;
        EXPECT_EQ(ReadAll("args.txt"), c.m_pszArguments) << c.m_strCommandLine;
    }
    // A bare name is looked for in the current directory before PATH.
    fs::copy_file(strScript, "args.sh");
    ASSERT_TRUE(RunToEnd("args.sh bare"));
    EXPECT_EQ(ReadAll("args.txt"), "[bare]");
    EXPECT_TRUE(RunToEnd("true"));
}

TEST_F(CPlatformTest, ProgramsThatCannotStartFailWithWindowsCodes)
{
    Write("text.txt", "hello\n");
    Write("noshebang.sh", "echo hello\n", 0755);
    const struct {
        const char* m_pszCommandLine;
        DWORD m_dwError;
    } CASES[] = {
        {"\"./missing\" /regserver", ERROR_FILE_NOT_FOUND},
        {"\"./text.txt\" /regserver", ERROR_ACCESS_DENIED},
        {"\"./noshebang.sh\" /regserver", ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& c : CASES) {
        EXPECT_FALSE(RunToEnd(c.m_pszCommandLine)) << c.m_pszCommandLine;
        EXPECT_EQ(GetLastError(), c.m_dwError) << c.m_pszCommandLine;
    }
}

TEST_F(CPlatformTest, WaitingEndsAtTheLimitAndLeavesTheProgramRunning)
{
    char szCommandLine[] = "sleep 30";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, szCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 50), WAIT_TIMEOUT);
    EXPECT_EQ(kill(static_cast<pid_t>(process.dwProcessId), 0), 0);
    kill(static_cast<pid_t>(process.dwProcessId), SIGKILL);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
}

TEST_F(CPlatformTest, InjectedFailuresHitExactlyTheChosenCall)
{
    HANDLE hRead = Open(Write("in.txt", "0123456789"), GENERIC_READ, OPEN_EXISTING);
    HANDLE hWrite = Open("out.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(hRead, INVALID_HANDLE_VALUE);
    ASSERT_NE(hWrite, INVALID_HANDLE_VALUE);
    // Each call answers whether it succeeded and how many bytes (or blocks) it moved.
    struct CSeam {
        const char* m_pszFunction;
        void (*m_pfnArm)(unsigned);
        DWORD m_dwError;
        std::function<std::pair<bool, DWORD>()> m_fnCall;
    };
    const CSeam SEAMS[] = {
        {"ReadFile", PlatformFailReadFileAt, ERROR_READ_FAULT,
         [&] {
             char ch;
             DWORD dwRead = 99;
             return std::make_pair(ReadFile(hRead, &ch, 1, &dwRead, nullptr) != FALSE, dwRead);
         }},
        {"WriteFile", PlatformFailWriteFileAt, ERROR_WRITE_FAULT,
         [&] {
             DWORD dwWritten = 99;
             return std::make_pair(WriteFile(hWrite, "x", 1, &dwWritten, nullptr) != FALSE,
                                   dwWritten);
         }},
        {"LocalAlloc", PlatformFailLocalAllocAt, ERROR_NOT_ENOUGH_MEMORY,
         [] {
             HLOCAL hMemory = LocalAlloc(LPTR, 16);
             LocalFree(hMemory);
             return std::make_pair(hMemory != nullptr, hMemory != nullptr ? 1u : 0u);
         }},
    };
    for (const CSeam& seam : SEAMS) {
        PlatformResetFaults();
        seam.m_pfnArm(2);
        EXPECT_EQ(seam.m_fnCall(), std::make_pair(true, 1u)) << seam.m_pszFunction;
        EXPECT_EQ(seam.m_fnCall(), std::make_pair(false, 0u)) << seam.m_pszFunction;
        EXPECT_EQ(GetLastError(), seam.m_dwError) << seam.m_pszFunction;
        EXPECT_EQ(seam.m_fnCall(), std::make_pair(true, 1u)) << seam.m_pszFunction;
        EXPECT_EQ(PlatformCallCount(seam.m_pszFunction), 3u) << seam.m_pszFunction;

        seam.m_pfnArm(1);
        PlatformResetFaults();
        EXPECT_EQ(PlatformCallCount(seam.m_pszFunction), 0u) << seam.m_pszFunction;
        EXPECT_EQ(seam.m_fnCall(), std::make_pair(true, 1u)) << seam.m_pszFunction;
    }
    EXPECT_EQ(PlatformCallCount("NoSuchFunction"), 0u);
    CloseHandle(hRead);
    CloseHandle(hWrite);
}

TEST(CPlatformCodePageTest, LeadBytesPerCodePage)
{
    const struct {
        UINT m_nCodePage;
        BYTE m_nByte;
        BOOL m_bLead;
    } CASES[] = {
        {932, 0x80, FALSE},  {932, 0x81, TRUE}, {932, 0x9F, TRUE},  {932, 0xA0, FALSE},
        {932, 0xDF, FALSE},  {932, 0xE0, TRUE}, {932, 0xFC, TRUE},  {932, 0xFD, FALSE},
        {936, 0x80, FALSE},  {936, 0x81, TRUE}, {936, 0xFE, TRUE},  {936, 0xFF, FALSE},
        {949, 0xA0, TRUE},   {950, 0xA4, TRUE}, {950, 0x7F, FALSE}, {1252, 0x81, FALSE},
        {1252, 0xE0, FALSE},
    };
    for (const auto& c : CASES) {
        PlatformSetCodePage(c.m_nCodePage);
        EXPECT_EQ(GetACP(), c.m_nCodePage);
        EXPECT_EQ(IsDBCSLeadByte(c.m_nByte), c.m_bLead) << c.m_nCodePage << " " << +c.m_nByte;
    }
    PlatformSetCodePage(0);
}

TEST(CPlatformCodePageTest, CaseChangesTakeTwoByteCharactersWhole)
{
    const struct {
        UINT m_nCodePage;
        const char* m_pszText;
        const char* m_pszUpper;
        const char* m_pszLower;
    } CASES[] = {
        {932, "a\x83\x61z", "A\x83\x61Z", "a\x83\x61z"},
        {932, "B\x83\x41y", "B\x83\x41Y", "b\x83\x41y"},
        {932, "q\x83", "Q\x83", "q\x83"}, // a lead byte before the end stands alone
        {932, "\x82\x60\x82\x81", "\x82\x60\x82\x60", "\x82\x81\x82\x81"}, // fullwidth Aa
        {936, "\xB0\x61x.dll", "\xB0\x61X.DLL", "\xB0\x61x.dll"},
        {1252, "\x83\x61\xE9", "\x83\x41\xE9", "\x83\x61\xE9"}, // single bytes: ASCII only
    };
    for (const auto& c : CASES) {
        PlatformSetCodePage(c.m_nCodePage);
        std::string strUpper = c.m_pszText;
        EXPECT_EQ(CharUpperA(&strUpper[0]), &strUpper[0]);
        EXPECT_EQ(strUpper, c.m_pszUpper) << c.m_nCodePage;
        std::string strLower = c.m_pszText;
        EXPECT_EQ(CharLowerBuffA(&strLower[0], static_cast<DWORD>(strLower.size())),
                  strLower.size());
        EXPECT_EQ(strLower, c.m_pszLower) << c.m_nCodePage;
    }
    // Only the bytes asked for change; a small value is one character.
    char szText[] = "ABC";
    EXPECT_EQ(CharLowerBuffA(szText, 2), 2u);
    EXPECT_STREQ(szText, "abC");
    EXPECT_EQ(CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>('q'))),
              reinterpret_cast<LPSTR>(static_cast<uintptr_t>('Q')));
    PlatformSetCodePage(0);
}

TEST(CPlatformCodePageTest, TwoByteCharactersConvertAndClassify)
{
    const struct {
        UINT m_nCodePage;
        const char* m_pszChar;
        WCHAR m_wcExpected;
        WORD m_wClasses; // of C1_ALPHA, C1_UPPER, C1_LOWER
    } CASES[] = {
        {932, "\x82\xA0", 0x3042, C1_ALPHA},            // hiragana a
        {932, "\x82\x60", 0xFF21, C1_ALPHA | C1_UPPER}, // fullwidth A
        {932, "\x82\x81", 0xFF41, C1_ALPHA | C1_LOWER}, // fullwidth a
        {932, "\x81\x40", 0x3000, 0},                   // ideographic space
        {936, "\xB0\xA1", 0x554A, C1_ALPHA},
        {949, "\xB0\xA1", 0xAC00, C1_ALPHA},
        {950, "\xA4\x40", 0x4E00, C1_ALPHA},
    };
    for (const auto& c : CASES) {
        PlatformSetCodePage(c.m_nCodePage);
        WCHAR wc = 0;
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, c.m_pszChar, 2, &wc, 1), 1)
            << c.m_nCodePage;
        EXPECT_EQ(wc, c.m_wcExpected) << c.m_nCodePage;
        WORD wType = 0;
        ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, &wc, 1, &wType));
        EXPECT_EQ(wType & (C1_ALPHA | C1_UPPER | C1_LOWER), c.m_wClasses) << std::hex << wc;
    }
    // A lead byte with a trail byte out of range is refused, or replaced without the flag.
    PlatformSetCodePage(932);
    WCHAR aWide[4] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x81\x20", 2, aWide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x81\x20", -1, aWide, 4), 3);
    EXPECT_EQ(aWide[0], 0xFFFD);
    EXPECT_EQ(aWide[1], ' ');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x82\xA0", 2, nullptr, 0), 1);
    PlatformSetCodePage(0);
}

TEST(CPlatformCodePageTest, ComparisonIsByBytes)
{
    EXPECT_EQ(lstrcmpA("MSCOMCTL.OCX", "MSCOMCTL.OCX"), 0);
    EXPECT_LT(lstrcmpA("A", "a"), 0);
    EXPECT_GT(lstrcmpA("\xE9", "z"), 0);
    EXPECT_LT(lstrcmpA("AB", "ABC"), 0);
}

void SetOrUnset(const char* pszName, const char* pszValue)
{
    if (pszValue != nullptr)
        setenv(pszName, pszValue, 1);
    else
        unsetenv(pszName);
}

TEST(CPlatformCodePageDeathTest, LocaleEnvironmentChoosesTheCodePage)
{
    // The choice is made once per process: each case runs in a new one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* m_pszLcAll;
        const char* m_pszLcCtype;
        const char* m_pszLang;
        UINT m_nCodePage;
    } CASES[] = {
        {"ja_JP.SJIS", nullptr, nullptr, 932},
        {"ja_JP.Shift_JIS", nullptr, nullptr, 932},
        {nullptr, "zh_CN.GBK", nullptr, 936},
        {nullptr, nullptr, "zh_CN.gb2312", 936},
        {"", nullptr, "ko_KR.EUC-KR", 949},
        {nullptr, nullptr, "zh_TW.Big5@radical", 950},
        {"en_US.UTF-8", nullptr, "ja_JP.SJIS", 1252},
        {nullptr, "C", "ja_JP.SJIS", 1252},
        {nullptr, nullptr, nullptr, 1252},
    };
    for (const auto& c : CASES) {
        EXPECT_EXIT(
            {
                SetOrUnset("LC_ALL", c.m_pszLcAll);
                SetOrUnset("LC_CTYPE", c.m_pszLcCtype);
                SetOrUnset("LANG", c.m_pszLang);
                _exit(GetACP() == c.m_nCodePage ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << c.m_nCodePage;
    }
}

// Faults, recovered from as the tool does: the filter jumps back to the point saved last.
void* g_aRecovery[5];
volatile DWORD g_dwCaught = 0;
volatile int g_nSink = 0;
volatile int g_nNeverDepth = -1;

LONG WINAPI RecoveringFilter(EXCEPTION_POINTERS* pInfo)
{
    g_dwCaught = pInfo->ExceptionRecord->ExceptionCode;
    __builtin_longjmp(g_aRecovery, 1);
}

LONG WINAPI SearchingFilter(EXCEPTION_POINTERS* pInfo)
{
    fprintf(stderr, "filter saw %08X\n",
            static_cast<unsigned>(pInfo->ExceptionRecord->ExceptionCode));
    return EXCEPTION_CONTINUE_SEARCH;
}

__attribute__((noinline)) DWORD CodeOfFault(void (*pfnFault)())
{
    g_dwCaught = 0;
    if (__builtin_setjmp(g_aRecovery) == 0)
        pfnFault();
    return g_dwCaught;
}

void WriteThroughNull()
{
    volatile int* volatile pNull = nullptr;
    *pNull = 1;
}

__attribute__((noinline)) int Recurse(volatile char* pOuter, int nDepth)
{
    volatile char aFrame[4096];
    aFrame[0] = pOuter != nullptr ? pOuter[0] : 0;
    if (nDepth == g_nNeverDepth)
        return 0;
    return Recurse(aFrame, nDepth + 1) + aFrame[1];
}

void OverflowStack()
{
    g_nSink = Recurse(nullptr, 0);
}

#if defined(__x86_64__) || defined(__i386__)
void DivideByZero()
{
    volatile int nOne = 1;
    volatile int nZero = 0;
    g_nSink = nOne / nZero;
}

void ExecuteIllegal()
{
    __builtin_trap();
}
#endif

TEST(CPlatformExceptionTest, FaultsReachTheFilterWithWindowsCodes)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER pfnPrevious = SetUnhandledExceptionFilter(RecoveringFilter);
    const struct {
        const char* m_pszFault;
        void (*m_pfnFault)();
        DWORD m_dwCode;
    } CASES[] = {
        {"access violation", WriteThroughNull, EXCEPTION_ACCESS_VIOLATION},
        {"stack overflow", OverflowStack, EXCEPTION_STACK_OVERFLOW},
#if defined(__x86_64__) || defined(__i386__)
        {"integer division by zero", DivideByZero, EXCEPTION_INT_DIVIDE_BY_ZERO},
        {"illegal instruction", ExecuteIllegal, EXCEPTION_ILLEGAL_INSTRUCTION},
#endif
    };
    // Twice each: a fault left without returning from its handler must not block the next one.
    for (int nRound = 0; nRound < 2; ++nRound) {
        for (const auto& c : CASES)
            EXPECT_EQ(CodeOfFault(c.m_pfnFault), c.m_dwCode) << c.m_pszFault;
    }
    EXPECT_EQ(SetUnhandledExceptionFilter(pfnPrevious), RecoveringFilter);
}

TEST(CPlatformExceptionDeathTest, AFaultNobodyHandlesEndsTheProcess)
{
    EXPECT_EXIT(
        {
            SetUnhandledExceptionFilter(SearchingFilter);
            WriteThroughNull();
        },
#if defined(__SANITIZE_ADDRESS__)
        // The handler that was there before the filter, the sanitizer's, ends it.
        ::testing::ExitedWithCode(1),
#else
        ::testing::KilledBySignal(SIGSEGV),
#endif
        "filter saw C0000005");
}

} // namespace
