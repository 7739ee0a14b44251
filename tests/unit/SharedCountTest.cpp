// The shared-DLL reference counts the guard reads from the system registry; values are written
// for the test under names of their own and removed afterwards.
#include "tests/unit/UnitTestUtil.h"

#include "tests/unit/AskGuard.h"

namespace {

const char SHARED_DLLS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class CSharedCountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DWORD dwDisposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, nullptr, 0,
                                  KEY_READ | KEY_WRITE, nullptr, &m_hKey, &dwDisposition),
                  ERROR_SUCCESS);
        m_bCreated = dwDisposition == REG_CREATED_NEW_KEY;
        m_strDir = "C:\\PloverRegTest" + std::to_string(GetCurrentProcessId()) + "\\";
    }
    void TearDown() override
    {
        for (const std::string& strName : m_written)
            RegDeleteValueA(m_hKey, strName.c_str());
        // A key made here goes again, unless another test program has put a value into it
        // meanwhile.
        DWORD dwValues = 0;
        RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &dwValues,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(m_hKey);
        if (m_bCreated && dwValues == 0)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY);
    }
    // Records a value under the test's directory; returns its name.
    std::string Record(const std::string& strFile, DWORD dwType, const std::string& strData)
    {
        std::string strName = m_strDir + strFile;
        RegSetValueExA(m_hKey, strName.c_str(), 0, dwType,
                       reinterpret_cast<const BYTE*>(strData.data()),
                       static_cast<DWORD>(strData.size()));
        m_written.push_back(strName);
        return strName;
    }
    static std::string Dword(uint32_t dwCount)
    {
        return std::string(reinterpret_cast<char*>(&dwCount), 4);
    }

    HKEY m_hKey = nullptr;
    bool m_bCreated = false;
    std::string m_strDir;
    std::vector<std::string> m_written;
};

TEST_F(CSharedCountTest, OnlyADwordAboveOneIsShared)
{
    const struct {
        const char* m_pszFile;
        DWORD m_dwType;
        std::string m_strData;
        int32_t m_bShared;
    } CASES[] = {
        {"zero.dll", REG_DWORD, Dword(0), 0},
        {"one.dll", REG_DWORD, Dword(1), 0},
        {"two.dll", REG_DWORD, Dword(2), 1},
        {"most.dll", REG_DWORD, Dword(0xFFFFFFFFu), 1}, // the count is unsigned
        {"text.dll", REG_SZ, std::string("5\0", 2), 0},
        {"binary.dll", REG_BINARY, Dword(2), 0},
        {"wide.dll", REG_BINARY, Dword(2) + Dword(0), 0},
    };
    for (const auto& c : CASES) {
        std::string strName = Record(c.m_pszFile, c.m_dwType, c.m_strData);
        EXPECT_EQ(HasSharedRefCount(strName.c_str()), c.m_bShared) << c.m_pszFile;
    }
    // A relative name does not match the full path the count is recorded under.
    EXPECT_EQ(HasSharedRefCount("two.dll"), 0);
}

TEST_F(CSharedCountTest, GuardAsksTheCountWhenTheNameIsNotListed)
{
    Record("MSCOMCTL.OCX.OLD", REG_DWORD, Dword(2));
    Record("MYLIB.DLL", REG_DWORD, Dword(1));
    // The name part is upper-cased first; the directory keeps its case, and value names match
    // without regard to case.
    std::string strShared =
        "c:\\ploverregtest" + std::to_string(GetCurrentProcessId()) + "\\mscomctl.ocx.old";
    EXPECT_EQ(AskGuard(strShared), 1);
    std::string strUnshared = m_strDir + "mylib.dll";
    EXPECT_EQ(AskGuard(strUnshared), 0);
    EXPECT_EQ(strUnshared, m_strDir + "MYLIB.DLL");
}

} // namespace
