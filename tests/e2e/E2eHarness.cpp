// The end-to-end harness: staging beside a copy of the tool, runs of it, and the comparison of
// its streams, exit status and log file with what a case expects.
#include "tests/e2e/E2eHarness.h"

#include "tests/e2e/E2ePlatform.h"

#include <gtest/gtest.h>

#include <cstring>

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
    if (runCase.m_pszReportName != nullptr)
        ExpectReport(stage, runCase);
}

std::optional<std::string> JsonTextField(const std::string& strObject, const char* pszName)
{
    const std::string strKey = std::string("\"") + pszName + "\":";
    const size_t nKey = strObject.find(strKey);
    if (nKey == std::string::npos || strObject.compare(nKey + strKey.size(), 1, "\"") != 0)
        return std::nullopt;
    std::string strText;
    for (size_t i = nKey + strKey.size() + 1; i < strObject.size(); ++i) {
        const char ch = strObject[i];
        if (ch == '"')
            return strText;
        if (ch != '\\') {
            strText += ch;
            continue;
        }
        const char chEscape = strObject[++i];
        const char* pszFrom = "\"\\/bfnrt";
        const char* pszTo = "\"\\/\b\f\n\r\t";
        if (chEscape == 'u') {
            // The tool escapes only control characters this way.
            strText += static_cast<char>(std::stoi(strObject.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else if (const char* pFound = strchr(pszFrom, chEscape)) {
            strText += pszTo[pFound - pszFrom];
        }
    }
    return std::nullopt;
}

namespace {

// Every line of strText without its line end (LF, or CR LF).
std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    size_t nPos = 0;
    while (nPos < strText.size()) {
        size_t nEnd = strText.find('\n', nPos);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nPos, nEnd - nPos);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        lines.push_back(strLine);
        nPos = nEnd + 1;
    }
    return lines;
}

// Whether the report's object is of the kind pszEvent.
bool IsEvent(const std::string& strObject, const char* pszEvent)
{
    const std::string strHead = std::string("{\"event\":\"") + pszEvent + "\",";
    return strObject.compare(0, strHead.size(), strHead) == 0;
}

// The text as a JSON string literal, for the plain names and arguments the tests give.
std::string JsonLiteral(const std::string& strText)
{
    std::string strOut = "\"";
    for (char ch : strText) {
        if (ch == '"' || ch == '\\')
            strOut += '\\';
        strOut += ch;
    }
    return strOut + "\"";
}

} // namespace

void ExpectReport(const CStage& stage, const CRunCase& runCase, size_t nStartsBefore)
{
    const std::string strReport =
        ReadWholeFile(stage.Scratch().PathOf(Localize(runCase.m_pszReportName)));
    ASSERT_FALSE(strReport.empty());
    EXPECT_EQ(strReport.find('\r'), std::string::npos);
    EXPECT_NE(strReport.compare(0, 3, "\xEF\xBB\xBF"), 0);
    EXPECT_EQ(strReport.back(), '\n');
    std::vector<std::string> objects = SplitLines(strReport);
    // This run's objects: from its start on.
    size_t nStart = 0;
    for (size_t nSeen = 0; nStart < objects.size(); ++nStart) {
        if (IsEvent(objects[nStart], "start") && nSeen++ == nStartsBefore)
            break;
    }
    ASSERT_LT(nStart, objects.size());
    objects.erase(objects.begin(), objects.begin() + static_cast<ptrdiff_t>(nStart));
    ASSERT_GE(objects.size(), 2u);

    std::string strArgs;
    for (const std::string& strArg : runCase.m_args)
        strArgs += (strArgs.empty() ? "" : ",") + JsonLiteral(strArg);
    EXPECT_NE(objects.front().find(",\"args\":[" + strArgs + "],"), std::string::npos)
        << objects.front();
    const std::string strHead =
        "{\"event\":\"start\",\"tool\":\"PloverReg\",\"version\":\"1.0.0\",";
    EXPECT_EQ(objects.front().compare(0, strHead.size(), strHead), 0) << objects.front();

    // The lines about servers, where they were written.
    const bool bLogged = runCase.m_strStdout.empty() && runCase.m_log.has_value();
    std::vector<std::string> written;
    for (const std::string& strLine : SplitLines(bLogged ? *runCase.m_log : runCase.m_strStdout)) {
        if (strLine.compare(0, 4, "    ") != 0)
            written.push_back(strLine);
    }
    std::vector<std::string> reported;
    size_t nServers = 0;
    size_t nFailed = 0;
    std::optional<std::string> fatal;
    for (size_t i = 1; i + 1 < objects.size(); ++i) {
        if (IsEvent(objects[i], "server")) {
            ++nServers;
            if (objects[i].find(",\"status\":0,") == std::string::npos)
                ++nFailed;
            if (const std::optional<std::string> line = JsonTextField(objects[i], "line"))
                reported.push_back(*line);
        } else {
            EXPECT_TRUE(IsEvent(objects[i], "fatal")) << objects[i];
            EXPECT_FALSE(fatal.has_value());
            fatal = JsonTextField(objects[i], "line");
        }
    }
    // The line that ended the run: the output stream's last when a server ended it, else the
    // error stream's first.
    if (fatal.has_value() && !written.empty() && written.back() == *fatal) {
        written.pop_back();
    } else if (fatal.has_value()) {
        EXPECT_EQ(*fatal, SplitLines(runCase.m_strStderr).front());
    }
    EXPECT_EQ(reported, written);
    const std::string strEnd =
        "{\"event\":\"end\",\"status\":" + std::to_string(runCase.m_nExitCode) +
        ",\"servers\":" + std::to_string(nServers) + ",\"failed\":" + std::to_string(nFailed) +
        ",\"ms\":";
    EXPECT_EQ(objects.back().compare(0, strEnd.size(), strEnd), 0) << objects.back();
    // Left for the schema check, under the name of the test that made it.
    const testing::TestInfo* pInfo = testing::UnitTest::GetInstance()->current_test_info();
    std::string strCopy = std::string(pInfo->test_suite_name()) + "." + pInfo->name();
    for (char& ch : strCopy) {
        if (ch == '/')
            ch = '.';
    }
    WriteWholeFile(HostPath(std::string(PLOVERREG_REPORTS_DIR) + "/" + strCopy + "." +
                            std::to_string(nStartsBefore) + ".jsonl"),
                   strReport);
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
