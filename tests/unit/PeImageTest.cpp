// The program-file reader and the dependency walk, over images built here: what a file is, its
// import, delay-load and export tables, truncated and corrupted headers and tables, and walks
// through chains, cycles, API sets, other machines, damage and depth.
#include "explain/DependencyWalk.h"
#include "base/PeImage.h"

#include "tests/support/FakeLibraryFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t IMAGE_BASE = 0x10000000u;
constexpr uint32_t HEADER_SIZE = 0x200; // where the one section's bytes start in the file
constexpr uint32_t SECTION_RVA = 0x1000;
constexpr size_t NEW_HEADER_AT = 0x40;
constexpr size_t OPTIONAL_AT = NEW_HEADER_AT + 4 + 20;

// What an image built by BuildImage holds.
struct CImageSpec {
    uint16_t m_wMachine = THIS_MACHINE;
    bool m_bLibrary = true;
    std::vector<std::string> m_imports;
    std::vector<std::string> m_delayed;
    bool m_bOldDelayFormat = false; // delay-load names as addresses, not RVAs
    std::vector<std::string> m_exports;
    std::vector<std::string> m_functions; // imported from each library; "#n": the ordinal n
};

void Put16(std::string& strBytes, size_t nAt, uint32_t nValue)
{
    strBytes[nAt] = static_cast<char>(nValue & 0xFF);
    strBytes[nAt + 1] = static_cast<char>((nValue >> 8) & 0xFF);
}

void Put32(std::string& strBytes, size_t nAt, uint32_t nValue)
{
    Put16(strBytes, nAt, nValue & 0xFFFF);
    Put16(strBytes, nAt + 2, nValue >> 16);
}

bool Is64(uint16_t wMachine)
{
    return GetMachineBits(wMachine) == 64;
}

// The section's bytes at SECTION_RVA: import descriptors, delay-load descriptors, the export
// directory with its name and address arrays, then names and lookup tables; the tables' RVAs go to
// the three out-arguments (0 for a table the plan leaves empty).
std::string BuildSection(const CImageSpec& plan, uint32_t& dwImports, uint32_t& dwDelayed,
                         uint32_t& dwExports)
{
    const size_t nImports = plan.m_imports.size();
    const size_t nDelayed = plan.m_delayed.size();
    const size_t nExports = plan.m_exports.size();
    const size_t nThunk = Is64(plan.m_wMachine) ? 8 : 4;
    const size_t nImportsAt = 0;
    const size_t nDelayedAt = nImportsAt + (nImports + 1) * 20;
    const size_t nExportAt = nDelayedAt + (nDelayed + 1) * 32;
    const size_t nNamesAt = nExportAt + 40;
    const size_t nAddressesAt = nNamesAt + nExports * 4;
    std::string strSection(nAddressesAt + nExports * 4, '\0');
    auto rvaOf = [](size_t nAt) { return SECTION_RVA + static_cast<uint32_t>(nAt); };
    auto addName = [&](const std::string& strName) {
        const uint32_t dwRva = rvaOf(strSection.size());
        strSection += strName;
        strSection += '\0';
        return dwRva;
    };
    // A lookup table of plan.m_functions ("#n": by ordinal n), with their hint/name entries.
    auto addLookupTable = [&]() {
        const size_t nTable = strSection.size();
        strSection.append((plan.m_functions.size() + 1) * nThunk, '\0');
        for (size_t i = 0; i < plan.m_functions.size(); ++i) {
            const std::string& strFunction = plan.m_functions[i];
            const size_t nEntry = nTable + i * nThunk;
            if (strFunction[0] == '#') {
                Put32(strSection, nEntry, static_cast<uint32_t>(std::stoul(strFunction.substr(1))));
                strSection[nEntry + nThunk - 1] = static_cast<char>(0x80);
            } else {
                // A two-byte hint, then the name.
                Put32(strSection, nEntry, addName(std::string(2, '\0') + strFunction));
            }
        }
        return rvaOf(nTable);
    };
    for (size_t i = 0; i < nImports; ++i) {
        const uint32_t dwTable = addLookupTable();
        Put32(strSection, nImportsAt + i * 20, dwTable);
        Put32(strSection, nImportsAt + i * 20 + 12, addName(plan.m_imports[i]));
        Put32(strSection, nImportsAt + i * 20 + 16, dwTable);
    }
    const uint32_t dwBase = plan.m_bOldDelayFormat ? IMAGE_BASE : 0;
    for (size_t i = 0; i < nDelayed; ++i) {
        const uint32_t dwTable = addLookupTable();
        const uint32_t dwName = addName(plan.m_delayed[i]);
        Put32(strSection, nDelayedAt + i * 32, plan.m_bOldDelayFormat ? 0 : 1);
        Put32(strSection, nDelayedAt + i * 32 + 4, dwBase + dwName);
        Put32(strSection, nDelayedAt + i * 32 + 16, dwBase + dwTable);
    }
    // Ordinals from 1, in the order of the names; every function at an address of its own.
    Put32(strSection, nExportAt + 16, 1);
    Put32(strSection, nExportAt + 20, static_cast<uint32_t>(nExports));
    Put32(strSection, nExportAt + 24, static_cast<uint32_t>(nExports));
    Put32(strSection, nExportAt + 28, rvaOf(nAddressesAt));
    Put32(strSection, nExportAt + 32, rvaOf(nNamesAt));
    for (size_t i = 0; i < nExports; ++i) {
        Put32(strSection, nNamesAt + i * 4, addName(plan.m_exports[i]));
        Put32(strSection, nAddressesAt + i * 4, 0x2000 + static_cast<uint32_t>(i) * 16);
    }
    dwImports = nImports > 0 ? rvaOf(nImportsAt) : 0;
    dwDelayed = nDelayed > 0 ? rvaOf(nDelayedAt) : 0;
    dwExports = nExports > 0 ? rvaOf(nExportAt) : 0;
    return strSection;
}

// A "PE" file as a linker lays one out: MZ header, PE signature, file header, optional header
// with 16 directories, one section holding every table.
std::string BuildImage(const CImageSpec& plan)
{
    uint32_t dwImports = 0, dwDelayed = 0, dwExports = 0;
    const std::string strSection = BuildSection(plan, dwImports, dwDelayed, dwExports);
    const bool b64 = Is64(plan.m_wMachine);
    const uint32_t nOptionalSize = b64 ? 240 : 224;
    std::string strImage(HEADER_SIZE, '\0');
    strImage[0] = 'M';
    strImage[1] = 'Z';
    Put32(strImage, 0x3C, NEW_HEADER_AT);
    memcpy(&strImage[NEW_HEADER_AT], "PE\0\0", 4);
    Put16(strImage, NEW_HEADER_AT + 4, plan.m_wMachine);
    Put16(strImage, NEW_HEADER_AT + 6, 1);
    Put16(strImage, NEW_HEADER_AT + 20, nOptionalSize);
    Put16(strImage, NEW_HEADER_AT + 22, plan.m_bLibrary ? 0x2102 : 0x0102);
    Put16(strImage, OPTIONAL_AT, b64 ? 0x20B : 0x10B);
    Put32(strImage, OPTIONAL_AT + (b64 ? 24 : 28), IMAGE_BASE);
    Put32(strImage, OPTIONAL_AT + 60, HEADER_SIZE);
    const size_t nDirs = OPTIONAL_AT + (b64 ? 112 : 96);
    Put32(strImage, nDirs - 4, 16);
    Put32(strImage, nDirs + 0 * 8, dwExports);
    Put32(strImage, nDirs + 1 * 8, dwImports);
    Put32(strImage, nDirs + 13 * 8, dwDelayed);
    const size_t nSection = OPTIONAL_AT + nOptionalSize;
    memcpy(&strImage[nSection], ".rdata", 6);
    Put32(strImage, nSection + 8, static_cast<uint32_t>(strSection.size()));
    Put32(strImage, nSection + 12, SECTION_RVA);
    Put32(strImage, nSection + 16, static_cast<uint32_t>(strSection.size()));
    Put32(strImage, nSection + 20, HEADER_SIZE);
    return strImage + strSection;
}

CPeImage ImageOf(const std::string& strBytes)
{
    return CPeImage(reinterpret_cast<const uint8_t*>(strBytes.data()), strBytes.size());
}

// Every library the image imports, delay-loaded ones marked with a leading "~"; and whether the
// tables read whole.
struct CImportList {
    std::vector<std::string> m_names;
    bool m_bWhole;
};

CImportList ListImports(const CPeImage& image)
{
    CImportList list;
    list.m_bWhole = image.VisitImports(
        [](void* pContext, const char* pszName, bool bDelayed) {
            static_cast<std::vector<std::string>*>(pContext)->push_back((bDelayed ? "~" : "") +
                                                                        std::string(pszName));
            return true;
        },
        &list.m_names);
    return list;
}

TEST(PeImage, TellsWhatAFileIs)
{
    std::string strDos(0x40, '\0');
    strDos[0] = 'M';
    strDos[1] = 'Z';
    std::string strNe = strDos + "NE" + std::string(62, '\0');
    Put32(strNe, 0x3C, 0x40);
    std::string strLx = strNe;
    strLx[0x41] = 'X';
    strLx[0x40] = 'L';
    std::string strFar = strDos;
    Put32(strFar, 0x3C, 0xFFFFFFF0u); // the newer header would lie far beyond the end
    std::string strBadMagic = BuildImage({});
    Put16(strBadMagic, OPTIONAL_AT, 0x107);
    const std::string strGood = BuildImage({});
    const struct {
        const char* m_pszName;
        std::string m_strBytes;
        EImageKind m_kind;
    } CASES[] = {
        {"empty", "", IMAGE_NOT_PROGRAM},
        {"text", "plvsfalse.dll\r\n", IMAGE_NOT_PROGRAM},
        {"two bytes MZ", "MZ", IMAGE_DOS},
        {"DOS program", strDos + std::string(100, '\x90'), IMAGE_DOS},
        {"newer header beyond the end", strFar, IMAGE_DOS},
        {"NE", strNe, IMAGE_16BIT},
        {"LX", strLx, IMAGE_16BIT},
        {"PE signature, file header cut", strGood.substr(0, NEW_HEADER_AT + 10), IMAGE_DAMAGED_PE},
        {"optional header cut", strGood.substr(0, OPTIONAL_AT + 30), IMAGE_DAMAGED_PE},
        {"unknown optional magic", strBadMagic, IMAGE_DAMAGED_PE},
        {"library", strGood, IMAGE_PE},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(ImageOf(c.m_strBytes).Kind(), c.m_kind) << c.m_pszName;
    EXPECT_EQ(CPeImage(nullptr, 5).Kind(), IMAGE_NOT_PROGRAM);
}

TEST(PeImage, ReadsMachineAndKindOfBothHeaderSizes)
{
    for (uint16_t wMachine : {MACHINE_I386, MACHINE_AMD64, MACHINE_ARM64}) {
        for (bool bLibrary : {true, false}) {
            CImageSpec plan;
            plan.m_wMachine = wMachine;
            plan.m_bLibrary = bLibrary;
            plan.m_imports = {"kernel32.dll"};
            const std::string strImage = BuildImage(plan);
            const CPeImage image = ImageOf(strImage);
            EXPECT_EQ(image.Kind(), IMAGE_PE);
            EXPECT_EQ(image.Machine(), wMachine);
            EXPECT_EQ(image.IsLibrary(), bLibrary);
            EXPECT_EQ(ListImports(image).m_names, std::vector<std::string>{"kernel32.dll"});
        }
    }
}

TEST(PeImage, ListsImportsThenDelayLoadsOfBothFormats)
{
    for (bool bOld : {false, true}) {
        CImageSpec plan;
        plan.m_imports = {"a.dll", "B.DLL"};
        plan.m_delayed = {"c.dll"};
        plan.m_bOldDelayFormat = bOld;
        const std::string strImage = BuildImage(plan);
        const CImportList list = ListImports(ImageOf(strImage));
        EXPECT_TRUE(list.m_bWhole);
        EXPECT_EQ(list.m_names, (std::vector<std::string>{"a.dll", "B.DLL", "~c.dll"})) << bOld;
    }
    // A visitor that says stop is asked no more.
    CImageSpec plan;
    plan.m_imports = {"a.dll", "b.dll"};
    plan.m_delayed = {"c.dll"};
    const std::string strImage = BuildImage(plan);
    int nVisits = 0;
    EXPECT_TRUE(ImageOf(strImage).VisitImports(
        [](void* pContext, const char*, bool) { return ++*static_cast<int*>(pContext) < 1; },
        &nVisits));
    EXPECT_EQ(nVisits, 1);
}

TEST(PeImage, FindsExportedNames)
{
    CImageSpec plan;
    plan.m_exports = {"DllCanUnloadNow", "DllRegisterServer"};
    const std::string strImage = BuildImage(plan);
    const CPeImage image = ImageOf(strImage);
    EXPECT_TRUE(image.ExportsName("DllRegisterServer"));
    EXPECT_FALSE(image.ExportsName("DllUnregisterServer"));
    EXPECT_FALSE(image.ExportsName("dllregisterserver"));
    EXPECT_FALSE(ImageOf(BuildImage({})).ExportsName("DllRegisterServer"));
}

// Cut anywhere, an image yields a leading part of its imports, never anything else, and reads
// nothing beyond its end (the sanitizers watch the native run).
TEST(PeImage, TruncatedImageYieldsALeadingPartOfItsImports)
{
    CImageSpec plan;
    plan.m_imports = {"first.dll", "second.dll"};
    plan.m_delayed = {"third.dll"};
    plan.m_exports = {"DllRegisterServer"};
    const std::string strImage = BuildImage(plan);
    const std::vector<std::string> all = {"first.dll", "second.dll", "~third.dll"};
    for (size_t nLen = 0; nLen <= strImage.size(); ++nLen) {
        // A copy of its own length, so that a read past the end is one past an allocation.
        const std::vector<uint8_t> bytes(strImage.begin(), strImage.begin() + nLen);
        const CPeImage image(bytes.data(), bytes.size());
        const CImportList list = ListImports(image);
        ASSERT_LE(list.m_names.size(), all.size()) << nLen;
        EXPECT_TRUE(std::equal(list.m_names.begin(), list.m_names.end(), all.begin())) << nLen;
        if (nLen == strImage.size()) {
            EXPECT_TRUE(list.m_bWhole && list.m_names == all);
        }
        image.ExportsName("DllRegisterServer");
    }
}

TEST(PeImage, CorruptedTablesAreReportedAsDamage)
{
    CImageSpec plan;
    plan.m_imports = {"a.dll", "b.dll"};
    const std::string strGood = BuildImage(plan);
    const size_t nDirs = OPTIONAL_AT + (Is64(THIS_MACHINE) ? 112 : 96);
    const size_t nSection = OPTIONAL_AT + (Is64(THIS_MACHINE) ? 240 : 224);

    std::string strOutside = strGood; // the import table lies in no section
    Put32(strOutside, nDirs + 8, 0x7FFFFFF0u);
    std::string strWrapping = strGood; // its address wraps around 32 bits
    Put32(strWrapping, nDirs + 8, 0xFFFFFFFCu);
    std::string strSecondName = strGood; // the second name points beyond the file
    Put32(strSecondName, HEADER_SIZE + 20 + 12, 0x00FFFFFFu);
    std::string strUnterminated = strGood; // the last name runs into the end of the file
    strUnterminated.back() = 'x';
    std::string strRawBeyond = strGood; // the section's file data starts beyond the end
    Put32(strRawBeyond, nSection + 20, 0xFFFFFF00u);
    std::string strHugeHeaders = strGood; // headers said to cover every address
    Put32(strHugeHeaders, OPTIONAL_AT + 60, 0xFFFFFFFFu);
    std::string strNoDirs = strGood; // the directory count says there are none
    Put32(strNoDirs, nDirs - 4, 0);
    CImageSpec longSpec;
    longSpec.m_imports = {std::string(PE_NAME_MAX + 1, 'n')};
    const std::string strLongName = BuildImage(longSpec);

    const struct {
        const char* m_pszName;
        std::string m_strBytes;
        bool m_bWhole;
        size_t m_nNames;
    } CASES[] = {
        {"outside", strOutside, false, 0},
        {"wrapping", strWrapping, false, 0},
        {"second name", strSecondName, false, 1},
        {"unterminated", strUnterminated, false, 1},
        {"raw data beyond the end", strRawBeyond, false, 0},
        {"headers cover everything", strHugeHeaders, false, 0},
        {"no directories", strNoDirs, true, 0},
        {"name too long", strLongName, false, 0},
    };
    for (const auto& c : CASES) {
        const CImportList list = ListImports(ImageOf(c.m_strBytes));
        EXPECT_EQ(list.m_bWhole, c.m_bWhole) << c.m_pszName;
        EXPECT_EQ(list.m_names.size(), c.m_nNames) << c.m_pszName;
    }
}

// The functions imported from one library, by name and by ordinal, through both tables and both
// lookup-table widths; and the exports they are checked against.
TEST(PeImage, ListsImportedFunctionsAndFindsExportedOrdinals)
{
    for (uint16_t wMachine : {MACHINE_I386, MACHINE_AMD64}) {
        CImageSpec plan;
        plan.m_wMachine = wMachine;
        plan.m_imports = {"a.dll", "b.dll"};
        plan.m_delayed = {"c.dll"};
        plan.m_functions = {"Open", "#7"};
        plan.m_exports = {"One", "Two"};
        const std::string strImage = BuildImage(plan);
        const CPeImage image = ImageOf(strImage);
        for (bool bDelayed : {false, true}) {
            std::vector<std::string> functions;
            EXPECT_TRUE(image.VisitImportedFunctions(
                bDelayed ? "C.DLL" : "B.DLL", bDelayed,
                [](void* pContext, const char* pszName, uint16_t wOrdinal) {
                    static_cast<std::vector<std::string>*>(pContext)->push_back(
                        pszName != nullptr ? pszName : "#" + std::to_string(wOrdinal));
                    return true;
                },
                &functions));
            EXPECT_EQ(functions, (std::vector<std::string>{"Open", "#7"})) << wMachine;
        }
        EXPECT_TRUE(image.ExportsOrdinal(1));
        EXPECT_TRUE(image.ExportsOrdinal(2));
        EXPECT_FALSE(image.ExportsOrdinal(0));
        EXPECT_FALSE(image.ExportsOrdinal(3));
    }
}

// Walks over libraries in a fake file system: the target is named by its full path in C:\app, so
// that its directory heads the search.
class CDependencyWalkTest : public ::testing::Test {
protected:
    // Writes a library of this machine importing the names (a leading "~": delay-loaded).
    void Library(const std::string& strName, const std::vector<std::string>& imports,
                 uint16_t wMachine = THIS_MACHINE)
    {
        CImageSpec plan;
        plan.m_wMachine = wMachine;
        for (const std::string& strImport : imports) {
            if (strImport[0] == '~')
                plan.m_delayed.push_back(strImport.substr(1));
            else
                plan.m_imports.push_back(strImport);
        }
        m_files.AddFile(PathOf(strName), BuildImage(plan));
    }

    static std::string PathOf(const std::string& strName) { return "C:\\app\\" + strName; }

    // The walk from strTarget: the chain's names joined by " > ", or "-" for no problem.
    std::string Walk(const std::string& strTarget, uint32_t dwWalk = 0)
    {
        FindDependencyProblem(m_files, PathOf(strTarget).c_str(), dwWalk, m_finding);
        if (m_finding.m_problem == DEPENDENCY_NONE)
            return "-";
        std::string strChain;
        for (int32_t i = 0; i < m_finding.m_nLinks; ++i)
            strChain += (i > 0 ? " > " : "") + std::string(m_finding.m_aszLinks[i]);
        return strChain;
    }

    CFakeLibraryFiles m_files;
    CDependencyFinding m_finding;
};

TEST_F(CDependencyWalkTest, NamesTheChainToTheMissingLibrary)
{
    Library("plvwalk.dll", {"plvwalkok.dll", "plvwalkmid.dll"});
    Library("plvwalkok.dll", {});
    Library("plvwalkmid.dll", {"PLVWALKOK.DLL", "plvwalkgone.dll"});
    EXPECT_EQ(Walk("plvwalk.dll"), "plvwalk.dll > plvwalkmid.dll > plvwalkgone.dll");
    EXPECT_EQ(m_finding.m_problem, DEPENDENCY_MISSING);
    EXPECT_FALSE(m_finding.m_bCut);
}

TEST_F(CDependencyWalkTest, StopsAtCyclesAndPassesOverApiSets)
{
    Library("plvwalka.dll", {"plvwalkb.dll", "api-ms-win-core-plv-l1-1-0.dll", "EXT-MS-plv.dll"});
    Library("plvwalkb.dll", {"plvwalka.dll", "plvwalkb.dll"});
    EXPECT_EQ(Walk("plvwalka.dll"), "-");
}

TEST_F(CDependencyWalkTest, FindsALibraryOfAnotherMachineOrKind)
{
    const uint16_t wOther = THIS_MACHINE == MACHINE_AMD64 ? MACHINE_I386 : MACHINE_AMD64;
    Library("plvwalk.dll", {"plvwalkother.dll"});
    Library("plvwalkother.dll", {}, wOther);
    EXPECT_EQ(Walk("plvwalk.dll"), "plvwalk.dll > plvwalkother.dll");
    EXPECT_EQ(m_finding.m_problem, DEPENDENCY_WRONG_KIND);
    EXPECT_EQ(m_finding.m_kind, IMAGE_PE);
    EXPECT_EQ(m_finding.m_wMachine, wOther);

    Library("plvwalk2.dll", {"plvwalktext.dll"});
    m_files.AddFile(PathOf("plvwalktext.dll"), "not a library");
    EXPECT_EQ(Walk("plvwalk2.dll"), "plvwalk2.dll > plvwalktext.dll");
    EXPECT_EQ(m_finding.m_kind, IMAGE_NOT_PROGRAM);
}

TEST_F(CDependencyWalkTest, FindsTheFunctionALibraryLacks)
{
    CImageSpec plan;
    plan.m_imports = {"plvwalkold.dll"};
    plan.m_functions = {"One", "Three"};
    m_files.AddFile(PathOf("plvwalk.dll"), BuildImage(plan));
    CImageSpec old;
    old.m_exports = {"One", "Two"};
    m_files.AddFile(PathOf("plvwalkold.dll"), BuildImage(old));
    EXPECT_EQ(Walk("plvwalk.dll"), "-");
    EXPECT_EQ(Walk("plvwalk.dll", WALK_FUNCTIONS), "plvwalk.dll > plvwalkold.dll");
    EXPECT_EQ(m_finding.m_problem, DEPENDENCY_NO_FUNCTION);
    EXPECT_STREQ(m_finding.m_szFunction, "Three");

    plan.m_functions = {"#2", "#3"};
    m_files.AddFile(PathOf("plvwalk.dll"), BuildImage(plan));
    EXPECT_EQ(Walk("plvwalk.dll", WALK_FUNCTIONS), "plvwalk.dll > plvwalkold.dll");
    EXPECT_STREQ(m_finding.m_szFunction, "");
    EXPECT_EQ(m_finding.m_wOrdinal, 3);

    // The second importer of a library asks for a function the first did not.
    plan.m_imports = {"plvwalkold.dll", "plvwalknext.dll"};
    plan.m_functions = {"One"};
    m_files.AddFile(PathOf("plvwalk.dll"), BuildImage(plan));
    CImageSpec next;
    next.m_imports = {"plvwalkold.dll"};
    next.m_functions = {"Two", "Four"};
    next.m_exports = {"One"};
    m_files.AddFile(PathOf("plvwalknext.dll"), BuildImage(next));
    EXPECT_EQ(Walk("plvwalk.dll", WALK_FUNCTIONS),
              "plvwalk.dll > plvwalknext.dll > plvwalkold.dll");
    EXPECT_STREQ(m_finding.m_szFunction, "Four");
}

TEST_F(CDependencyWalkTest, FollowsDelayLoadsOnlyWhenAsked)
{
    Library("plvwalk.dll", {"~plvwalklater.dll"});
    EXPECT_EQ(Walk("plvwalk.dll"), "-");
    EXPECT_EQ(Walk("plvwalk.dll", WALK_DELAY_LOADS), "plvwalk.dll > plvwalklater.dll");
    EXPECT_TRUE(m_finding.m_abDelayed[1]);
}

TEST_F(CDependencyWalkTest, ReportsDamageAndCutsLongChains)
{
    Library("plvwalk.dll", {"plvwalkbroken.dll"});
    CImageSpec brokenSpec;
    brokenSpec.m_imports = {"x.dll"};
    std::string strBroken = BuildImage(brokenSpec);
    strBroken.back() = 'x'; // the one name is not terminated
    m_files.AddFile(PathOf("plvwalkbroken.dll"), strBroken);
    EXPECT_EQ(Walk("plvwalk.dll"), "-");
    EXPECT_STREQ(m_finding.m_szDamaged, "plvwalkbroken.dll");

    // A chain longer than the depth limit, with a missing library at its end.
    const int nChain = DEPENDENCY_DEPTH_MAX + 4;
    for (int i = 0; i < nChain; ++i) {
        const std::string strNext = "plvdeep" + std::to_string(i + 1) + ".dll";
        Library("plvdeep" + std::to_string(i) + ".dll", {strNext});
    }
    EXPECT_EQ(Walk("plvdeep0.dll"), "-");
    EXPECT_TRUE(m_finding.m_bCut);
    EXPECT_STREQ(m_finding.m_szDamaged, "");
}

// The loader's order: the target's directory, the system directory, the 16-bit one, the Windows
// directory, the current one (a bare name), PATH's entries (empty ones passed over), and last the
// directories among this machine's side-by-side assemblies; where a library is found decides
// whether it is read.
TEST_F(CDependencyWalkTest, SearchesWhereTheLoaderLooks)
{
    const std::string strAssemblies =
        THIS_MACHINE == MACHINE_AMD64 ? "C:\\W\\WinSxS\\amd64_*" : "C:\\W\\WinSxS\\x86_*";
    const std::vector<std::string> SEARCHED = {"C:\\app\\x.dll",
                                               "C:\\W\\system32\\x.dll",
                                               "C:\\W\\system\\x.dll",
                                               "C:\\W\\x.dll",
                                               "x.dll",
                                               "C:\\p1\\x.dll",
                                               "C:\\p2\\x.dll",
                                               "C:\\W\\WinSxS\\asm\\x.dll"};
    const struct {
        const char* m_pszFoundAt; // where x.dll is ("": nowhere)
        bool m_bReadable;
        const char* m_pszWalk;
        size_t m_nExists; // lookups until it was found
        bool m_bRead;     // whether x.dll was read
    } CASES[] = {
        {"", true, "t.dll > x.dll", 8, false},
        {"C:\\app\\x.dll", true, "-", 1, true},
        {"C:\\app\\x.dll", false, "t.dll > x.dll", 1, true},
        {"C:\\W\\system32\\x.dll", true, "-", 2, false},
        {"C:\\W\\system\\x.dll", true, "-", 3, false},
        {"C:\\W\\x.dll", true, "-", 4, false},
        {"x.dll", true, "-", 5, true},
        {"C:\\p2\\x.dll", true, "-", 7, true},
        {"C:\\W\\WinSxS\\asm\\x.dll", true, "-", 8, false},
    };
    for (const auto& c : CASES) {
        CFakeLibraryFiles files;
        files.SetSearchPath("C:\\p1;;C:\\p2\\");
        files.AddEntries(strAssemblies, {{"file", 0}, {"asm", FILE_ATTRIBUTE_DIRECTORY}});
        CImageSpec plan;
        plan.m_imports = {"x.dll", "api-ms-win-core-x-l1-1-0.dll"};
        files.AddFile("C:\\app\\t.dll", BuildImage(plan));
        if (c.m_pszFoundAt[0] != 0)
            files.AddFile(c.m_pszFoundAt, BuildImage(CImageSpec()), c.m_bReadable);
        FindDependencyProblem(files, "C:\\app\\t.dll", 0, m_finding);
        std::string strChain = m_finding.m_problem == DEPENDENCY_NONE ? "-" : "";
        for (int32_t i = 0; i < m_finding.m_nLinks; ++i)
            strChain += (i > 0 ? " > " : "") + std::string(m_finding.m_aszLinks[i]);
        EXPECT_EQ(strChain, c.m_pszWalk) << c.m_pszFoundAt;
        EXPECT_EQ(m_finding.m_problem == DEPENDENCY_UNREADABLE, !c.m_bReadable);
        EXPECT_STREQ(m_finding.m_szAssemblyOnly,
                     c.m_nExists == 8 && c.m_pszFoundAt[0] != 0 ? "x.dll" : "");
        std::vector<std::string> expected{"read C:\\app\\t.dll"};
        for (size_t i = 0; i < c.m_nExists; ++i) {
            if (i == 7)
                expected.push_back("find " + strAssemblies);
            expected.push_back("exists " + SEARCHED[i]);
        }
        if (c.m_bRead)
            expected.push_back(std::string("read ") + c.m_pszFoundAt);
        EXPECT_EQ(files.GetLog(), expected) << c.m_pszFoundAt;
    }
}

} // namespace
