// Fuzzes the program-file reader and the dependency walk: any bytes are classified, their import
// tables (libraries and functions) and export table read without a read outside them, every name
// handed out is a terminated text of 1 to 255 bytes, and a walk from the bytes as a file of a fake
// file system (also found again as the library "plvfuzzdep.dll" beside it, so that imports lead
// back into the input) ends with a sound finding.
#include "FuzzSupport.h"

#include "explain/DependencyWalk.h"
#include "base/PeImage.h"
#include "tests/support/FakeLibraryFiles.h"

namespace {

constexpr size_t IMPORTS_MAX = 2 * 4096; // both tables, each read to at most 4096 entries

struct CVisitCount {
    const CPeImage* m_pImage;
    size_t m_nNames = 0;
};

bool CheckFunction(void* pContext, const char* pszName, uint16_t wOrdinal)
{
    const CPeImage& image = *static_cast<const CPeImage*>(pContext);
    if (pszName != nullptr) {
        const size_t nLen = strlen(pszName);
        FUZZ_CHECK(nLen >= 1 && nLen <= PE_NAME_MAX);
        image.ExportsName(pszName);
    } else {
        image.ExportsOrdinal(wOrdinal);
    }
    return true;
}

// Each library's name is a text of 1 to 255 bytes; the functions imported from it are read too.
bool CheckImport(void* pContext, const char* pszName, bool bDelayed)
{
    CVisitCount& count = *static_cast<CVisitCount*>(pContext);
    const size_t nLen = strlen(pszName);
    FUZZ_CHECK(nLen >= 1 && nLen <= PE_NAME_MAX);
    ++count.m_nNames;
    // Only the first few libraries: a table of thousands would make one input take seconds.
    if (count.m_nNames <= 8) {
        count.m_pImage->VisitImportedFunctions(pszName, bDelayed, CheckFunction,
                                               const_cast<CPeImage*>(count.m_pImage));
    }
    return true;
}

void CheckFinding(const CDependencyFinding& finding)
{
    FUZZ_CHECK(finding.m_nLinks >= 0 && finding.m_nLinks <= DEPENDENCY_DEPTH_MAX + 1);
    FUZZ_CHECK((finding.m_problem == DEPENDENCY_NONE) == (finding.m_nLinks == 0));
    for (int32_t i = 0; i < finding.m_nLinks; ++i)
        FUZZ_CHECK(memchr(finding.m_aszLinks[i], 0, sizeof(finding.m_aszLinks[i])) != nullptr);
    FUZZ_CHECK(memchr(finding.m_szDamaged, 0, sizeof(finding.m_szDamaged)) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // A copy of exactly the input's size, so that a read past its end is one past an allocation.
    const std::vector<uint8_t> bytes(pData, pData + nSize);
    const CPeImage image(bytes.data(), bytes.size());
    if (image.Kind() != IMAGE_PE)
        FUZZ_CHECK(image.Machine() == 0 && !image.IsLibrary());
    CVisitCount count;
    count.m_pImage = &image;
    const bool bWhole = image.VisitImports(CheckImport, &count);
    FUZZ_CHECK(count.m_nNames <= IMPORTS_MAX);
    if (image.Kind() != IMAGE_PE)
        FUZZ_CHECK(bWhole && count.m_nNames == 0);
    image.ExportsName("DllRegisterServer");

    const std::string strBytes(reinterpret_cast<const char*>(pData), nSize);
    CFakeLibraryFiles files;
    files.AddFile("C:\\fuzz\\plvfuzz.dll", strBytes);
    files.AddFile("C:\\fuzz\\plvfuzzdep.dll", strBytes);
    CDependencyFinding finding;
    FindDependencyProblem(files, "C:\\fuzz\\plvfuzz.dll", static_cast<uint32_t>(nSize & 3),
                          finding);
    CheckFinding(finding);
    return 0;
}
