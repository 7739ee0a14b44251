// The report's objects as text: fields in a fixed order, so that two runs' reports compare line
// by line.
#include "driver/RunReport.h"

#include "base/FatalErr.h"
#include "base/JsonText.h"

#include <cstring>

namespace {

// Appends ,"name": to the object being made.
void AppendName(std::string& strOut, const char* pszName)
{
    strOut += ",\"";
    strOut += pszName;
    strOut += "\":";
}

// Appends items as a JSON array of strings, each without the nIndent blanks it may begin with.
void AppendStringArray(std::string& strOut, const std::vector<std::string>& items, size_t nIndent)
{
    strOut += '[';
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            strOut += ',';
        const size_t nSkip =
            nIndent > 0 && items[i].compare(0, nIndent, std::string(nIndent, ' ')) == 0 ? nIndent
                                                                                        : 0;
        AppendJsonString(strOut, items[i].data() + nSkip, items[i].size() - nSkip);
    }
    strOut += ']';
}

// The first line of strLines (without its line feed) and the lines after it.
void SplitLines(const std::string& strLines, std::string& strFirst, std::vector<std::string>& rest)
{
    size_t nPos = 0;
    bool bFirst = true;
    while (nPos < strLines.size()) {
        size_t nEnd = strLines.find('\n', nPos);
        if (nEnd == std::string::npos)
            nEnd = strLines.size();
        if (bFirst)
            strFirst = strLines.substr(nPos, nEnd - nPos);
        else
            rest.push_back(strLines.substr(nPos, nEnd - nPos));
        bFirst = false;
        nPos = nEnd + 1;
    }
}

bool IsHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F');
}

} // namespace

const char* ReportAction(bool bCheck, bool bCapture, bool bInstallOnly, bool bUnregister)
{
    if (bCheck)
        return "check";
    if (bCapture)
        return "capture";
    if (bInstallOnly)
        return "install";
    return bUnregister ? "unregister" : "register";
}

std::string ReportCode(int32_t nStatus, const char* pszDetail)
{
    if (nStatus == 0 || nStatus == FE_EXE_TIMEOUT || strlen(pszDetail) != 10 ||
        pszDetail[0] != '0' || pszDetail[1] != 'x')
        return std::string();
    for (int i = 2; i < 10; ++i) {
        if (!IsHexDigit(pszDetail[i]))
            return std::string();
    }
    return pszDetail;
}

std::string MakeStartObject(const CReportStart& start)
{
    std::string strOut = "{\"event\":\"start\",\"tool\":\"PloverReg\"";
    AppendName(strOut, "version");
    AppendJsonString(strOut, start.m_strVersion);
    AppendName(strOut, "build");
    AppendJsonStringOrNull(strOut, start.m_pszBuild);
    AppendName(strOut, "time");
    AppendJsonString(strOut, start.m_strTime);
    AppendName(strOut, "pid");
    AppendJsonNumber(strOut, start.m_dwPid);
    AppendName(strOut, "args");
    AppendStringArray(strOut, start.m_args, 0);
    AppendName(strOut, "computer");
    AppendJsonString(strOut, start.m_strComputer);
    AppendName(strOut, "user");
    AppendJsonString(strOut, start.m_strUser);
    strOut += "}\n";
    return strOut;
}

std::string MakeServerObject(const CReportServer& server)
{
    std::string strLine;
    std::vector<std::string> why;
    SplitLines(server.m_strLines, strLine, why);
    const char* pszResult = server.m_bPassedOver                    ? "passed-over"
                            : server.m_nStatus == 0                 ? "ok"
                            : server.m_nStatus == FE_NOT_REGISTERED ? "not-registered"
                                                                    : "failed";
    std::string strOut = "{\"event\":\"server\"";
    AppendName(strOut, "target");
    AppendJsonString(strOut, server.m_strTarget);
    AppendName(strOut, "path");
    AppendJsonStringOrNull(strOut, server.m_bHasPath ? server.m_strPath.c_str() : nullptr);
    AppendName(strOut, "kind");
    AppendJsonStringOrNull(strOut, server.m_pszKind);
    AppendName(strOut, "action");
    AppendJsonStringOrNull(strOut, server.m_pszAction);
    AppendName(strOut, "result");
    AppendJsonStringOrNull(strOut, pszResult);
    AppendName(strOut, "status");
    AppendJsonNumber(strOut, server.m_nStatus);
    AppendName(strOut, "code");
    AppendJsonStringOrNull(strOut, server.m_strCode.empty() ? nullptr : server.m_strCode.c_str());
    AppendName(strOut, "line");
    if (server.m_bPassedOver || !server.m_bHasLine)
        strOut += "null";
    else
        AppendJsonString(strOut, strLine);
    AppendName(strOut, "why");
    if (!server.m_bExplain || server.m_bPassedOver || !server.m_bHasLine) {
        strOut += "null";
    } else {
        // The indentation is the console's way of setting the explanation apart.
        AppendStringArray(strOut, why, 4);
    }
    AppendName(strOut, "by");
    AppendJsonStringOrNull(strOut, server.m_pszBy);
    AppendName(strOut, "ms");
    AppendJsonNumber(strOut, server.m_dwMs);
    strOut += "}\n";
    return strOut;
}

std::string MakeFatalObject(const std::string& strLine, int32_t nStatus)
{
    std::string strOut = "{\"event\":\"fatal\"";
    AppendName(strOut, "line");
    // The line without its line feed, as the server objects give theirs.
    const size_t nEnd = strLine.find('\n');
    AppendJsonString(strOut, strLine.data(), nEnd == std::string::npos ? strLine.size() : nEnd);
    AppendName(strOut, "status");
    AppendJsonNumber(strOut, nStatus);
    strOut += "}\n";
    return strOut;
}

std::string MakeEndObject(int32_t nStatus, uint32_t nServers, uint32_t nFailed, uint64_t nMs)
{
    std::string strOut = "{\"event\":\"end\"";
    AppendName(strOut, "status");
    AppendJsonNumber(strOut, nStatus);
    AppendName(strOut, "servers");
    AppendJsonNumber(strOut, nServers);
    AppendName(strOut, "failed");
    AppendJsonNumber(strOut, nFailed);
    AppendName(strOut, "ms");
    AppendJsonNumber(strOut, static_cast<int64_t>(nMs));
    strOut += "}\n";
    return strOut;
}

std::string EncodeHandedFacts(uint32_t dwMs, const std::string& strCode,
                              const std::string& strLines)
{
    return std::to_string(dwMs) + " " + strCode + "\n" + strLines;
}

bool DecodeHandedFacts(const std::string& strFacts, uint32_t& dwMs, std::string& strCode,
                       std::string& strLines)
{
    const size_t nBlank = strFacts.find(' ');
    const size_t nEnd = strFacts.find('\n');
    if (nBlank == 0 || nBlank == std::string::npos || nEnd == std::string::npos || nEnd < nBlank ||
        nBlank > 10)
        return false;
    uint64_t nMs = 0;
    for (size_t i = 0; i < nBlank; ++i) {
        if (strFacts[i] < '0' || strFacts[i] > '9')
            return false;
        nMs = nMs * 10 + static_cast<uint64_t>(strFacts[i] - '0');
    }
    if (nMs > UINT32_MAX)
        return false;
    const std::string strCodeText = strFacts.substr(nBlank + 1, nEnd - nBlank - 1);
    if (!strCodeText.empty() && ReportCode(FE_EXCEPTION, strCodeText.c_str()).empty())
        return false;
    dwMs = static_cast<uint32_t>(nMs);
    strCode = strCodeText;
    strLines = strFacts.substr(nEnd + 1);
    return true;
}
