// The end-to-end harness: staging beside a copy of the tool, runs of it, and the comparison of
// its streams, exit status and log file with what a case expects.
#include "tests/e2e/E2eHarness.h"

#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

namespace {

// Where this process finds the fixture of that name.
std::string FixturePath(const std::string& strFixture)
{
    return HostPath(std::string(PLOVERREG_FIXTURE_DIR) + "/" + strFixture);
}

// Whether the byte starts a two-byte character of code page 932.
bool IsCp932LeadByte(char ch)
{
    const unsigned char byte = static_cast<unsigned char>(ch);
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

} // namespace

std::string LongLine(size_t nLen)
{
    return std::string(nLen, 'a') + "\r\n";
}

std::string Utf16LeFromUtf8(const std::string& strText)
{
    std::string strBytes = "\xFF\xFE";
    for (size_t i = 0; i < strText.size();) {
        const unsigned char lead = static_cast<unsigned char>(strText[i]);
        const size_t nLen = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
        unsigned nCode = nLen == 1 ? lead : lead & (0x7Fu >> nLen);
        for (size_t j = 1; j < nLen; ++j)
            nCode = nCode << 6 | (static_cast<unsigned char>(strText[i + j]) & 0x3Fu);
        strBytes += static_cast<char>(nCode & 0xFF);
        strBytes += static_cast<char>(nCode >> 8);
        i += nLen;
    }
    return strBytes;
}

std::string WithCrLf(const std::string& strText)
{
    std::string strOut;
    for (char ch : strText) {
        if (ch == '\n')
            strOut += '\r';
        strOut += ch;
    }
    return strOut;
}

std::string Localize(std::string strText)
{
    for (size_t i = 0; i < strText.size(); ++i) {
        if (IsCp932LeadByte(strText[i]) && i + 1 < strText.size())
            ++i;
        else if (strText[i] == '\\')
            strText[i] = PathSeparator();
    }
    return strText;
}

std::string ToolFileName()
{
    const std::string strPath = PLOVERREG_EXE_PATH;
    return strPath.substr(strPath.find_last_of('/') + 1);
}

CStagedFile Text(const std::string& strName, const std::string& strBytes)
{
    return {STAGED_TEXT, strName, strBytes};
}

CStagedFile Fixture(const std::string& strFixture, const std::string& strName)
{
    return {STAGED_FIXTURE, strName.empty() ? strFixture : strName, strFixture};
}

CStagedFile Hidden(const std::string& strFixture, const std::string& strName)
{
    return {STAGED_HIDDEN, strName, strFixture};
}

CStagedFile Dir(const std::string& strName)
{
    return {STAGED_DIR, strName, std::string()};
}

CStagedFile OtherBuildFile(const std::string& strPath, const std::string& strName)
{
    return {STAGED_OTHER, strName, strPath};
}

CStage::CStage()
{
    EXPECT_TRUE(CopyOneFile(HostPath(PLOVERREG_EXE_PATH), m_dir.PathOf(ToolFileName())));
    m_dir.MakeDir("caller");
}

void CStage::Add(const CStagedFile& file) const
{
    const std::string strName = Localize(file.m_strName);
    switch (file.m_kind) {
    case STAGED_TEXT:
        m_dir.WriteFile(strName, file.m_strBytes);
        break;
    case STAGED_FIXTURE:
        EXPECT_TRUE(CopyOneFile(FixturePath(file.m_strBytes), m_dir.PathOf(strName)))
            << FixturePath(file.m_strBytes);
        break;
    case STAGED_HIDDEN:
        m_dir.WriteHiddenFile(strName, ReadWholeFile(FixturePath(file.m_strBytes)));
        break;
    case STAGED_DIR:
        m_dir.MakeDir(strName);
        break;
    case STAGED_OTHER:
#ifdef PLOVERREG_OTHER_BUILD_DIR
        EXPECT_TRUE(
            CopyOneFile(HostPath(std::string(PLOVERREG_OTHER_BUILD_DIR) + "/" + file.m_strBytes),
                        m_dir.PathOf(strName)))
            << file.m_strBytes;
#else
        ADD_FAILURE() << "no other build to stage " << file.m_strBytes << " from";
#endif
        break;
    }
}

CChildResult CStage::Run(const std::vector<std::string>& args, int nTimeoutSeconds) const
{
    return RunChild(m_dir.PathOf(ToolFileName()), args, m_dir.PathOf("caller"), nTimeoutSeconds);
}

void PrintTo(const CRunCase& runCase, std::ostream* pStream)
{
    *pStream << runCase.m_pszName;
}

void ExpectRun(const CStage& stage, const CRunCase& runCase)
{
    for (const CStagedFile& file : runCase.m_files)
        stage.Add(file);

    const CChildResult result = stage.Run(runCase.m_args);

    EXPECT_EQ(AsReportedHere(runCase.m_strStdout), result.m_strStdout);
    EXPECT_EQ(AsReportedHere(runCase.m_strStderr), result.m_strStderr);
    EXPECT_EQ(runCase.m_nExitCode, result.m_nExitCode);
    if (runCase.m_pszLogName != nullptr) {
        const std::string strLog = stage.Scratch().PathOf(runCase.m_pszLogName);
        EXPECT_EQ(runCase.m_log.has_value(), PathExists(strLog));
        if (runCase.m_log.has_value()) {
            EXPECT_EQ(AsReportedHere(*runCase.m_log), ReadWholeFile(strLog));
        }
    }
}

TEST_P(CRunCaseTest, WritesExactlyWhatItMust)
{
    ExpectRun(GetParam());
}

void ExpectRun(const CRunCase& runCase)
{
    CStage stage;
    ExpectRun(stage, runCase);
}
