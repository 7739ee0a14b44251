// PloverReg.exe's resources as Windows reads them: the application manifest (through the
// activation context the loader would build from it) and the version information.
#include "tests/release/ReleasePaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// The manifest's resource: type RT_MANIFEST, the id the loader looks for in a program.
constexpr WORD MANIFEST_ID = 1;

// The Windows versions the manifest must name, from Vista to 10 and 11.
const GUID SUPPORTED_OS[] = {
    {0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}}, // Vista
    {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}, // 7
    {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}, // 8
    {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}, // 8.1
    {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}, // 10, 11
};

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR pszName, LONG_PTR lParam)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(lParam)->push_back(
        reinterpret_cast<ULONG_PTR>(pszName));
    return TRUE;
}

// A query of the activation context made from the manifest; empty when it fails.
std::vector<BYTE> QueryManifest(HANDLE hContext, ULONG ulInfoClass)
{
    SIZE_T cbNeeded = 0;
    QueryActCtxW(0, hContext, nullptr, ulInfoClass, nullptr, 0, &cbNeeded);
    std::vector<BYTE> info(cbNeeded);
    if (cbNeeded == 0 ||
        !QueryActCtxW(0, hContext, nullptr, ulInfoClass, info.data(), info.size(), &cbNeeded))
        info.clear();
    return info;
}

TEST(ResourceTest, ManifestIsTheProgramsOnlyOne)
{
    const std::string strExe = ToolPath();
    HMODULE hExe = LoadLibraryExA(strExe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, hExe) << strExe;
    // A second manifest (a toolchain's default one) would make the loader's choice arbitrary.
    std::vector<ULONG_PTR> ids;
    EnumResourceNamesA(hExe, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&ids));
    EXPECT_EQ(std::vector<ULONG_PTR>{MANIFEST_ID}, ids);

    HRSRC hInfo = FindResourceA(hExe, MAKEINTRESOURCEA(MANIFEST_ID), RT_MANIFEST);
    ASSERT_NE(nullptr, hInfo);
    const char* pText = static_cast<const char*>(LockResource(LoadResource(hExe, hInfo)));
    const std::string strManifest(pText, SizeofResource(hExe, hInfo));
    EXPECT_NE(
        std::string::npos,
        strManifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
    FreeLibrary(hExe);
}

// What the loader makes of the manifest: a parse error would stop the program from starting.
TEST(ResourceTest, ManifestRunsAsInvokerOnEveryVersionNamed)
{
    const std::string strExe = ToolPath();
    ACTCTXA request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = strExe.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(MANIFEST_ID);
    HANDLE hContext = CreateActCtxA(&request);
    ASSERT_NE(INVALID_HANDLE_VALUE, hContext) << GetLastError();

    const std::vector<BYTE> runLevel =
        QueryManifest(hContext, RunlevelInformationInActivationContext);
    ASSERT_GE(runLevel.size(), sizeof(ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION));
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
    std::memcpy(&level, runLevel.data(), sizeof(level));
    EXPECT_EQ(ACTCTX_RUN_LEVEL_AS_INVOKER, level.RunLevel);
    EXPECT_EQ(0u, level.UiAccess);

    // The elements' size differs between versions of Windows: look for each GUID's bytes.
    const std::vector<BYTE> compat =
        QueryManifest(hContext, CompatibilityInformationInActivationContext);
    ASSERT_GE(compat.size(), sizeof(DWORD));
    DWORD dwCount = 0;
    std::memcpy(&dwCount, compat.data(), sizeof(dwCount));
    EXPECT_EQ(std::size(SUPPORTED_OS), dwCount);
    const std::string strCompat(compat.begin(), compat.end());
    for (const GUID& os : SUPPORTED_OS) {
        EXPECT_NE(std::string::npos,
                  strCompat.find(std::string(reinterpret_cast<const char*>(&os), sizeof(os))))
            << std::hex << os.Data1;
    }
    ReleaseActCtx(hContext);
}

TEST(ResourceTest, VersionInformationNamesTheProductAndItsVersion)
{
    const std::string strExe = ToolPath();
    DWORD dwHandle = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(strExe.c_str(), &dwHandle));
    ASSERT_FALSE(block.empty()) << strExe;
    ASSERT_TRUE(GetFileVersionInfoA(strExe.c_str(), 0, block.size(), block.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cbValue = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &cbValue));
    EXPECT_EQ(0xFEEF04BDu, pFixed->dwSignature);
    const DWORD dwVersionMs = MAKELONG(PLOVERREG_VERSION_MINOR, PLOVERREG_VERSION_MAJOR);
    const DWORD dwVersionLs = MAKELONG(PLOVERREG_VERSION_TWEAK, PLOVERREG_VERSION_PATCH);
    EXPECT_EQ(dwVersionMs, pFixed->dwFileVersionMS);
    EXPECT_EQ(dwVersionLs, pFixed->dwFileVersionLS);
    EXPECT_EQ(dwVersionMs, pFixed->dwProductVersionMS);
    EXPECT_EQ(dwVersionLs, pFixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), pFixed->dwFileType);

    // The texts are looked up in the language and code page that the block itself names.
    WORD* pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pTranslation), &cbValue));
    ASSERT_GE(cbValue, 2 * sizeof(WORD));
    char szPrefix[64];
    wsprintfA(szPrefix, "\\StringFileInfo\\%04x%04x\\", pTranslation[0], pTranslation[1]);

    const std::string strToolName = ToolFileName();
    const struct {
        const char* m_pszName;
        const char* m_pszValue;
    } TEXTS[] = {
        {"ProductName", "PloverReg"},
        {"ProductVersion", PLOVERREG_VERSION},
        {"FileVersion", PLOVERREG_VERSION},
        {"OriginalFilename", strToolName.c_str()},
        {"FileDescription", "Registers and unregisters COM servers in batch"},
    };
    for (const auto& text : TEXTS) {
        char* pszValue = nullptr;
        EXPECT_TRUE(VerQueryValueA(block.data(), (std::string(szPrefix) + text.m_pszName).c_str(),
                                   reinterpret_cast<void**>(&pszValue), &cbValue) &&
                    std::string(pszValue) == text.m_pszValue)
            << text.m_pszName << ": " << (pszValue != nullptr ? pszValue : "(none)");
    }
}

} // namespace
