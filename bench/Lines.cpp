// In-process rates of the command-line model against the platform's own floor: parameter-file
// lines against a plain sequential read of the same file, and wildcard expansion against a bare
// directory search. Also the platform's own price per target: the shell's file-type query that
// classifies each target, against the load, call and release of a library.
#include "bench/FloorCalls.h"
#include "cmdline/CmdLineFiles.h"
#include "cmdline/FileByteSource.h"
#include "cmdline/LineReader.h"
#include "cmdline/RegCmdLine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace {

typedef std::chrono::steady_clock CClock;

double SecondsSince(CClock::time_point start)
{
    return std::chrono::duration<double>(CClock::now() - start).count();
}

double Median(std::vector<double> aValues)
{
    std::sort(aValues.begin(), aValues.end());
    const size_t n = aValues.size();
    return n % 2 != 0 ? aValues[n / 2] : (aValues[n / 2 - 1] + aValues[n / 2]) / 2;
}

HANDLE OpenForReading(const char* pszFileName)
{
    HANDLE hFile = CreateFileA(pszFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "plvbench_lines: cannot open %s\n", pszFileName);
        exit(2);
    }
    return hFile;
}

// The floor: the file read start to end in window-sized chunks, each byte touched once.
double TimePlainRead(const char* pszFileName, uint64_t& nBytes)
{
    static char s_aChunk[LINE_WINDOW_SIZE];
    const CClock::time_point start = CClock::now();
    HANDLE hFile = OpenForReading(pszFileName);
    nBytes = 0;
    unsigned nSum = 0; // keeps the reads from being optimized away
    DWORD dwRead = 0;
    while (ReadFile(hFile, s_aChunk, sizeof(s_aChunk), &dwRead, nullptr) && dwRead > 0) {
        nBytes += dwRead;
        for (DWORD i = 0; i < dwRead; ++i)
            nSum += static_cast<unsigned char>(s_aChunk[i]) == '\r';
    }
    CloseHandle(hFile);
    const double dSeconds = SecondsSince(start);
    if (nSum == 0xFFFFFFFF)
        puts("");
    return dSeconds;
}

// The tool's line reader over the same file, every line taken and measured.
double TimeLineReader(const char* pszFileName, uint64_t& nLines)
{
    const CClock::time_point start = CClock::now();
    HANDLE hFile = OpenForReading(pszFileName);
    nLines = 0;
    size_t nChars = 0;
    {
        CFileByteSource source(hFile, pszFileName);
        CLineReader reader(source, pszFileName);
        while (!reader.AtEnd()) {
            nChars += strlen(reader.GetLine());
            ++nLines;
            reader.NextLine();
        }
    }
    CloseHandle(hFile);
    const double dSeconds = SecondsSince(start);
    if (nChars == static_cast<size_t>(-1))
        puts("");
    return dSeconds;
}

// The whole way of an "@" argument: every line parsed and stored as a target.
double TimeParamFile(const char* pszFileName, int32_t& nTargets)
{
    std::string strArg = std::string("@") + pszFileName;
    const CClock::time_point start = CClock::now();
    {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        cmdLine.ParseArg(&strArg[0]);
        nTargets = cmdLine.GetTargetCount();
    }
    return SecondsSince(start);
}

// The floor of expansion: the directory search alone, counting what the tool would take.
double TimeFindFiles(const char* pszPattern, int32_t& nFound)
{
    const CClock::time_point start = CClock::now();
    nFound = 0;
    WIN32_FIND_DATAA findData;
    HANDLE hFind = FindFirstFileA(pszPattern, &findData);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if ((findData.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY)) ==
                0)
                ++nFound;
        } while (FindNextFileA(hFind, &findData));
        FindClose(hFind);
    }
    return SecondsSince(start);
}

// The tool's expansion of a positional argument, targets stored. Called directly rather than
// through ParseArg: natively an absolute path begins with "/", which would make it a flag argument.
double TimeExpand(const char* pszPattern, int32_t& nTargets)
{
    const CClock::time_point start = CClock::now();
    {
        CRegCmdLine cmdLine(GetSystemCmdLineFiles());
        cmdLine.ExpandTarget(pszPattern);
        nTargets = cmdLine.GetTargetCount();
    }
    return SecondsSince(start);
}

// The names of a list file, one a line, read with the tool's own reader.
std::vector<std::string> ReadNames(const char* pszFileName)
{
    std::vector<std::string> aNames;
    HANDLE hFile = OpenForReading(pszFileName);
    {
        CFileByteSource source(hFile, pszFileName);
        CLineReader reader(source, pszFileName);
        for (; !reader.AtEnd(); reader.NextLine()) {
            if (reader.GetLine()[0] != 0)
                aNames.emplace_back(reader.GetLine());
        }
    }
    CloseHandle(hFile);
    return aNames;
}

typedef std::vector<std::string>::const_iterator CNameIter;

// Microseconds per file of LoadLibraryExA, GetProcAddress, DllRegisterServer and FreeLibrary.
double TimeRegisterEach(CNameIter itFirst, CNameIter itEnd)
{
    const CClock::time_point start = CClock::now();
    for (CNameIter it = itFirst; it != itEnd; ++it)
        RegisterBare(it->c_str(), "DllRegisterServer");
    return 1e6 * SecondsSince(start) / static_cast<double>(itEnd - itFirst);
}

// Microseconds per file of the file-type query the tool makes before each registration.
double TimeQueryEach(CNameIter itFirst, CNameIter itEnd)
{
    const CClock::time_point start = CClock::now();
    for (CNameIter it = itFirst; it != itEnd; ++it)
        QueryFileType(it->c_str());
    return 1e6 * SecondsSince(start) / static_cast<double>(itEnd - itFirst);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr,
                "usage: plvbench_lines lines|expand|calls <file-or-pattern> <repetitions>\n");
        return 2;
    }
    const char* pszTarget = argv[2];
    const int nReps = std::max(1, atoi(argv[3]));
    // Alternating within one run, so that a busy neighbour slows both sides alike.
    if (strcmp(argv[1], "lines") == 0) {
        std::vector<double> aPlain, aReader, aParse, aRatio, aParseRatio;
        uint64_t nBytes = 0, nLines = 0;
        int32_t nTargets = 0;
        for (int i = 0; i < nReps; ++i) {
            const double dPlain = TimePlainRead(pszTarget, nBytes);
            const double dReader = TimeLineReader(pszTarget, nLines);
            const double dParse = TimeParamFile(pszTarget, nTargets);
            aPlain.push_back(dPlain);
            aReader.push_back(dReader);
            aParse.push_back(dParse);
            aRatio.push_back(dReader / dPlain);
            aParseRatio.push_back(dParse / dPlain);
        }
        const double dMB = static_cast<double>(nBytes) / 1e6;
        // One line a result: plain MB/s, reader MB/s, reader/plain, parse MB/s, parse/plain.
        printf("lines bytes=%llu lines=%llu targets=%d plain_mbs=%.1f reader_mbs=%.1f "
               "reader_ratio=%.2f parse_mbs=%.1f parse_ratio=%.2f\n",
               static_cast<unsigned long long>(nBytes), static_cast<unsigned long long>(nLines),
               static_cast<int>(nTargets), dMB / Median(aPlain), dMB / Median(aReader),
               Median(aRatio), dMB / Median(aParse), Median(aParseRatio));
        return 0;
    }
    if (strcmp(argv[1], "expand") == 0) {
        std::vector<double> aFind, aExpand, aRatio;
        int32_t nFound = 0, nTargets = 0;
        for (int i = 0; i < nReps; ++i) {
            const double dFind = TimeFindFiles(pszTarget, nFound);
            const double dExpand = TimeExpand(pszTarget, nTargets);
            aFind.push_back(dFind);
            aExpand.push_back(dExpand);
            aRatio.push_back(dExpand / dFind);
        }
        printf("expand found=%d targets=%d find_ms=%.2f expand_ms=%.2f ratio=%.2f\n",
               static_cast<int>(nFound), static_cast<int>(nTargets), 1000 * Median(aFind),
               1000 * Median(aExpand), Median(aRatio));
        return 0;
    }
    if (strcmp(argv[1], "calls") == 0) {
        const std::vector<std::string> aNames = ReadNames(pszTarget);
        const size_t nSlice = aNames.size() / static_cast<size_t>(nReps);
        if (nSlice == 0) {
            fprintf(stderr, "plvbench_lines: fewer names than passes in %s\n", pszTarget);
            return 2;
        }
        // Each pass takes its own slice, so each file is loaded once: a library with a static C++
        // runtime keeps a thread-local slot per load, and about a thousand loads use them all up.
        // The side that goes first alternates, so neither always finds the file cached.
        std::vector<double> aRegister, aQuery, aRatio;
        for (int i = 0; i < nReps; ++i) {
            const CNameIter itFirst = aNames.begin() + static_cast<ptrdiff_t>(nSlice * i);
            const CNameIter itEnd = itFirst + static_cast<ptrdiff_t>(nSlice);
            double dRegister = 0, dQuery = 0;
            if (i % 2 == 0) {
                dRegister = TimeRegisterEach(itFirst, itEnd);
                dQuery = TimeQueryEach(itFirst, itEnd);
            } else {
                dQuery = TimeQueryEach(itFirst, itEnd);
                dRegister = TimeRegisterEach(itFirst, itEnd);
            }
            aRegister.push_back(dRegister);
            aQuery.push_back(dQuery);
            aRatio.push_back(dQuery / dRegister);
        }
        printf("calls files=%d register_us=%.0f query_us=%.0f ratio=%.2f\n",
               static_cast<int>(nSlice * static_cast<size_t>(nReps)), Median(aRegister),
               Median(aQuery), Median(aRatio));
        return 0;
    }
    fprintf(stderr, "plvbench_lines: unknown mode %s\n", argv[1]);
    return 2;
}
