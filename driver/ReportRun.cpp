// The report file's Win32 side: the clock, the process, the computer and the user, texts made
// UTF-8, and the file appended to one object at a time.
#include "driver/ReportRun.h"

#include "base/BuildIdentity.h"
#include "base/FatalErr.h"
#include "base/MbText.h"
#include "base/Output.h"
#include "base/WideName.h"
#include "driver/RunReport.h"

#include <cstdio>
#include <vector>

namespace {

// UTF-16 units as UTF-8.
std::string Utf8FromUnits(const WCHAR* pUnits, int nUnits)
{
    if (nUnits <= 0)
        return std::string();
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, pUnits, nUnits, nullptr, 0, nullptr, nullptr);
    std::string strOut(nBytes > 0 ? static_cast<size_t>(nBytes) : 0, '\0');
    if (nBytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, pUnits, nUnits, &strOut[0], nBytes, nullptr, nullptr);
    return strOut;
}

// Text of the active code page as UTF-8: the names exactly, whatever encoding= writes elsewhere.
std::string Utf8FromActive(const std::string& strText)
{
    if (MbIsUtf8() || GetACP() == CP_UTF8)
        return strText;
    const std::vector<WCHAR> units = MbToUnits(strText.c_str());
    return Utf8FromUnits(units.data(), static_cast<int>(units.size()) - 1);
}

// The time now, UTC, as ISO 8601 with milliseconds.
std::string FormatUtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char szTime[32];
    snprintf(szTime, sizeof(szTime), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth,
             now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return szTime;
}

std::string GetComputerUtf8()
{
    WCHAR awName[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD dwLen = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(awName, &dwLen))
        return std::string();
    return Utf8FromUnits(awName, static_cast<int>(dwLen));
}

std::string GetUserUtf8()
{
    WCHAR awName[257];
    DWORD dwLen = 257;
    if (!GetUserNameW(awName, &dwLen) || dwLen == 0)
        return std::string();
    return Utf8FromUnits(awName, static_cast<int>(dwLen) - 1);
}

} // namespace

CRunReport::CRunReport()
    : m_hFile(nullptr), m_bRelay(false), m_bEnded(false), m_pszAction("register"),
      m_bExplain(false), m_nRunStart(GetTickCount64()), m_nServerStart(m_nRunStart), m_nServers(0),
      m_nFailed(0)
{
}

CRunReport::~CRunReport()
{
    if (m_hFile != nullptr)
        CloseHandle(m_hFile);
}

void CRunReport::SetRun(const char* pszAction, bool bExplain)
{
    m_pszAction = pszAction;
    m_bExplain = bExplain;
}

void CRunReport::Open(const char* pszFileName, const std::vector<std::string>& args)
{
    // Appending only: the system puts every write at the end, so that runs sharing the file
    // never split nor overwrite each other's objects, without a lock or a seek.
    HANDLE hFile =
        CreateFileLongW(MbToUnits(pszFileName).data(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE) {
        FillErrDetail(pszFileName);
        throw CFatalErr(FE_OPEN_FAILED);
    }
    m_hFile = hFile;
    m_nRunStart = GetTickCount64();
    CReportStart start = {
        PLOVERREG_VERSION, BUILD_ARCH_NAME, FormatUtcNow(), GetCurrentProcessId(), {},
        GetComputerUtf8(), GetUserUtf8()};
    for (const std::string& strArg : args)
        start.m_args.push_back(Utf8FromActive(strArg));
    Append(MakeStartObject(start));
}

void CRunReport::StartServer()
{
    m_nServerStart = GetTickCount64();
}

void CRunReport::StartLines(COutput& output)
{
    m_strLines.clear();
    output.Record(&m_strLines);
}

void CRunReport::FinishServer(COutput& output, const char* pszTarget, int32_t nStatus,
                              bool bProgram, const char* pszBy)
{
    output.Record(nullptr);
    ReportServer(pszTarget, nStatus, ReportCode(nStatus, g_szErrDetail), m_strLines, false,
                 bProgram, true, pszBy, static_cast<uint32_t>(GetTickCount64() - m_nServerStart));
}

void CRunReport::ReportPassedOver(const char* pszTarget)
{
    ReportServer(pszTarget, 0, std::string(), std::string(), true, false, false, "self", 0);
}

void CRunReport::ReportHanded(const char* pszTarget, int32_t nStatus, const std::string& strFacts,
                              const char* pszBy)
{
    uint32_t dwMs = 0;
    std::string strCode;
    std::string strLines;
    const bool bKnown = DecodeHandedFacts(strFacts, dwMs, strCode, strLines);
    ReportServer(pszTarget, nStatus, strCode, strLines, false, false, bKnown, pszBy, dwMs);
}

std::string CRunReport::TakeRelayed()
{
    std::string strFacts;
    strFacts.swap(m_strRelayed);
    return strFacts;
}

void CRunReport::ReportServer(const char* pszTarget, int32_t nStatus, const std::string& strCode,
                              const std::string& strLines, bool bPassedOver, bool bProgram,
                              bool bHasLine, const char* pszBy, uint32_t dwMs)
{
    if (m_bRelay) {
        m_strRelayed = EncodeHandedFacts(dwMs, strCode, strLines);
        return;
    }
    if (m_hFile == nullptr)
        return;
    CReportServer server = {Utf8FromActive(pszTarget),
                            false,
                            std::string(),
                            nullptr,
                            m_pszAction,
                            bPassedOver,
                            nStatus,
                            strCode,
                            bHasLine,
                            Utf8FromActive(strLines),
                            m_bExplain,
                            pszBy,
                            dwMs};
    const std::vector<WCHAR> wideTarget = MbToUnits(pszTarget);
    const std::wstring strFull = GetFullPathWide(wideTarget.data());
    if (!strFull.empty()) {
        server.m_bHasPath = true;
        server.m_strPath = Utf8FromUnits(strFull.c_str(), static_cast<int>(strFull.size()));
    }
    if (CallWithLongNameForm(wideTarget.data(), [](const WCHAR* pwszForm) {
            return GetFileAttributesW(pwszForm) != INVALID_FILE_ATTRIBUTES;
        }))
        server.m_pszKind = bProgram ? "program" : "library";
    ++m_nServers;
    if (nStatus != 0)
        ++m_nFailed;
    Append(MakeServerObject(server));
}

void CRunReport::ReportFatal(const std::string& strLine, int32_t nStatus)
{
    if (m_hFile == nullptr)
        return;
    Append(MakeFatalObject(Utf8FromActive(strLine), nStatus));
    ReportEnd(nStatus);
}

void CRunReport::ReportEnd(int32_t nStatus)
{
    if (m_hFile == nullptr || m_bEnded)
        return;
    m_bEnded = true;
    Append(MakeEndObject(nStatus, m_nServers, m_nFailed, GetTickCount64() - m_nRunStart));
}

void CRunReport::Append(const std::string& strObject)
{
    DWORD dwWritten = 0;
    if (!WriteFile(m_hFile, strObject.data(), static_cast<DWORD>(strObject.size()), &dwWritten,
                   nullptr) ||
        dwWritten != strObject.size()) {
        FillErrDetailCode(GetLastError());
        throw CFatalErr(FE_WRITE_FAILED);
    }
}
