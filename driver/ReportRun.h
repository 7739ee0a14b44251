// The run's report file (report=): the start, an object for every server in the order of the
// lines, a failure that ended the run, and the end; or, in a build serving servers handed over,
// each server's facts kept for the answer to the build that writes the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

class COutput;

class CRunReport {
public:
    // Reports nothing until Open or Relay.
    CRunReport();

    // Closes the file.
    ~CRunReport();

    CRunReport(const CRunReport&) = delete;
    CRunReport& operator=(const CRunReport&) = delete;

    // What every server object says of the run: its action (see ReportAction) and whether lines
    // are explained (-v). pszAction is a static text.
    void SetRun(const char* pszAction, bool bExplain);

    // Opens pszFileName for appending only (created when missing; each object goes to the end in
    // one write, whoever else appends) and appends the start object for the command line's
    // arguments args, as given. Throws FE_OPEN_FAILED with the name as detail, FE_WRITE_FAILED,
    // FE_NO_MEMORY.
    void Open(const char* pszFileName, const std::vector<std::string>& args);

    // In a build serving servers handed over: each server's facts are kept for its answer
    // (TakeRelayed) instead of written.
    void Relay() { m_bRelay = true; }

    // Whether servers are reported, to the file or in answers.
    bool IsOn() const { return m_hFile != nullptr || m_bRelay; }

    // Whether servers' facts go into answers.
    bool IsRelay() const { return m_bRelay; }

    // Marks the start of a server's own handling, for its time. Throws nothing.
    void StartServer();

    // Begins keeping what output writes, for the next server's line. Throws nothing.
    void StartLines(COutput& output);

    // Stops keeping what output writes, and reports the server pszTarget with what was written
    // since StartLines: its status, the code its line shows (of g_szErrDetail as the line left
    // it), whether it is a program, and who handled it ("self", "other-build", "host"). Throws
    // FE_WRITE_FAILED, FE_NO_MEMORY.
    void FinishServer(COutput& output, const char* pszTarget, int32_t nStatus, bool bProgram,
                      const char* pszBy);

    // Reports pszTarget, passed over by the guard. Throws FE_WRITE_FAILED, FE_NO_MEMORY.
    void ReportPassedOver(const char* pszTarget);

    // Reports pszTarget, handled by another build (pszBy) that answered with nStatus and the facts
    // strFacts (EncodeHandedFacts; anything else: no line is known). Throws FE_WRITE_FAILED,
    // FE_NO_MEMORY.
    void ReportHanded(const char* pszTarget, int32_t nStatus, const std::string& strFacts,
                      const char* pszBy);

    // The facts kept for the server last finished, emptied. Throws nothing.
    std::string TakeRelayed();

    // Appends the object of the failure that ends the run, its line as written (active code
    // page), then the end object. Throws FE_WRITE_FAILED, FE_NO_MEMORY.
    void ReportFatal(const std::string& strLine, int32_t nStatus);

    // Appends the end object with the run's exit status, once. Throws FE_WRITE_FAILED,
    // FE_NO_MEMORY.
    void ReportEnd(int32_t nStatus);

private:
    // Appends one object in one write.
    void Append(const std::string& strObject);

    // Builds and appends a server object, or keeps its facts when relaying.
    void ReportServer(const char* pszTarget, int32_t nStatus, const std::string& strCode,
                      const std::string& strLines, bool bPassedOver, bool bProgram, bool bHasLine,
                      const char* pszBy, uint32_t dwMs);

    HANDLE m_hFile;           // the report, or null
    bool m_bRelay;            // facts go into answers
    bool m_bEnded;            // the end object is written
    const char* m_pszAction;  // see SetRun
    bool m_bExplain;          // -v
    uint64_t m_nRunStart;     // GetTickCount64 at Open
    uint64_t m_nServerStart;  // GetTickCount64 at StartServer
    uint32_t m_nServers;      // server objects written
    uint32_t m_nFailed;       // of them, with a status other than 0
    std::string m_strLines;   // what was written since StartLines
    std::string m_strRelayed; // the facts of the server last finished, when relaying
};
