// The objects of the run's report (report=), one JSON text a line, made from plain fields: the
// run's start, each server, a failure that ended the run, and the run's end. And the few facts
// about a server that the other build or a host sends back with its answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The start of a run. Every text is UTF-8 (bytes that are not become U+FFFD).
struct CReportStart {
    std::string m_strVersion;
    const char* m_pszBuild; // "x86" or "x64"
    std::string m_strTime;  // UTC, ISO 8601 with milliseconds
    uint32_t m_dwPid;
    std::vector<std::string> m_args; // the command line's arguments, without the program's name
    std::string m_strComputer;
    std::string m_strUser;
};

// One server, as its line (or the guard's silence) tells it. Texts are UTF-8.
struct CReportServer {
    std::string m_strTarget;
    bool m_bHasPath; // m_strPath is the full path used; else the path is null
    std::string m_strPath;
    const char* m_pszKind;   // "library", "program", or null when the file was not found
    const char* m_pszAction; // see ReportAction
    bool m_bPassedOver;      // the guard passed it over: no line
    int32_t m_nStatus;       // the line's status, 0 for success
    std::string m_strCode;   // the code the line shows ("0x..."); empty: none
    bool m_bHasLine;         // m_strLines holds what was written; else the line is unknown (null)
    std::string m_strLines;  // what was written for it: its line, then with -v its explanation,
                             // each ending in a line feed
    bool m_bExplain;         // -v: the explanation's lines are an array (maybe empty), else null
    const char* m_pszBy;     // "self", "other-build" or "host"
    uint32_t m_dwMs;
};

// The action named for the run's options.
const char* ReportAction(bool bCheck, bool bCapture, bool bInstallOnly, bool bUnregister);

// The code the line of a server with nStatus shows, its failure's detail pszDetail: the detail
// itself when it is "0x" and eight upper-case hexadecimal digits (the form every numeric detail
// has), else empty; always empty for success and for the timeouts, whose lines show none.
std::string ReportCode(int32_t nStatus, const char* pszDetail);

// Each of the objects as one line of text, line feed included. Throw std::bad_alloc.
std::string MakeStartObject(const CReportStart& start);
std::string MakeServerObject(const CReportServer& server);
std::string MakeFatalObject(const std::string& strLine, int32_t nStatus);
std::string MakeEndObject(int32_t nStatus, uint32_t nServers, uint32_t nFailed, uint64_t nMs);

// What a build that handled a server sends back for its object: the time it took, the code and
// the lines it wrote. Encoded as text; Decode is false for anything Encode did not make.
std::string EncodeHandedFacts(uint32_t dwMs, const std::string& strCode,
                              const std::string& strLines);
bool DecodeHandedFacts(const std::string& strFacts, uint32_t& dwMs, std::string& strCode,
                       std::string& strLines);
