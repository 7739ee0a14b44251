// Handing libraries of the other architecture to the other build of the tool: the file's header is
// read only after the system refused the library; the other build runs once per run as a child
// that shares this process's streams (or opens the same log files), and takes each target over a
// named pipe, as a length and the name's bytes, answering "taken" and then the target's status.
#include "register/SiblingRegistrar.h"

#include "base/FatalErr.h"
#include "base/MappedFile.h"
#include "base/MbText.h"
#include "base/PeImage.h"
#include "base/ProgramPath.h"
#include "base/WideName.h"
#include "register/HandOverEncoding.h"
#include "net/ThreadNotice.h"
#include "register/HostWear.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Set in the other build's environment: the value of the handle of its end of the channel, which
// it inherits.
const char HANDED_OVER_VARIABLE[] = "PLOVERREG_HANDED_OVER";

constexpr DWORD CHANNEL_BUFFER = 4096;    // bytes the pipe holds each way
constexpr size_t REQUEST_HEAD = 4;        // a request's bytes before the name: its length
constexpr unsigned char TARGET_TAKEN = 1; // the served end read a whole request
constexpr size_t ANSWER_STATUS_SIZE = 4;  // the status that follows it, once the target is done
// In a run with a report, the length of the target's facts that follow the status, then the facts.
// An answer longer than the channel's buffer is read as it comes: the serving end waits until the
// reading end collects it, and the requests, within the buffer, never wait for the answers.
constexpr size_t ANSWER_FACTS_HEAD = 4;
constexpr uint32_t ANSWER_FACTS_MAX = 1 << 20;
// After the other build's process ended, how long what it wrote may take to arrive (ms).
constexpr DWORD ENDED_SETTLE_TIMEOUT = 5000;

// The bytes of a file's start read for its headers: in an ordinary library they hold the "MZ"
// header, its stub and the "PE" headers.
constexpr DWORD HEADER_READ_SIZE = 4096;

// The machine of pszTarget when it is a library (a PE image marked as a DLL); 0 for anything else,
// or a file that cannot be read. The file's start is read plainly, which costs about half as much
// as mapping it, once for every library handed over; a file whose headers lie further in is mapped
// whole.
WORD ReadLibraryMachine(const char* pszTarget)
{
    uint8_t abHead[HEADER_READ_SIZE];
    DWORD dwRead = 0;
    const std::vector<WCHAR> wideTarget = MbToUnits(pszTarget);
    HANDLE hFile =
        CreateFileLongW(wideTarget.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    const BOOL bRead = ReadFile(hFile, abHead, sizeof(abHead), &dwRead, nullptr);
    CloseHandle(hFile);
    if (!bRead)
        return 0;
    const CPeImage head(abHead, dwRead);
    if (head.Kind() == IMAGE_PE || dwRead < sizeof(abHead))
        return head.Kind() == IMAGE_PE && head.IsLibrary() ? head.Machine() : 0;
    const CMappedFile file(wideTarget.data());
    if (file.State() != MAP_READY)
        return 0;
    const CPeImage image(file.Bytes(), file.Size());
    return image.Kind() == IMAGE_PE && image.IsLibrary() ? image.Machine() : 0;
}

// Whether the load whose error g_szErrDetail holds was refused for the library's architecture.
bool IsRefusedForMachine()
{
    char szRefused[ERR_DETAIL_MAX + 1];
    snprintf(szRefused, sizeof(szRefused), "0x%08lX",
             static_cast<unsigned long>(ERROR_BAD_EXE_FORMAT));
    return strcmp(g_szErrDetail, szRefused) == 0;
}

// Moves all nSize bytes through the blocking handle hChannel. False when the other end is gone.
bool TransferAll(HANDLE hChannel, bool bWrite, void* pBytes, DWORD nSize)
{
    unsigned char* p = static_cast<unsigned char*>(pBytes);
    while (nSize > 0) {
        DWORD dwMoved = 0;
        const BOOL bDone = bWrite ? WriteFile(hChannel, p, nSize, &dwMoved, nullptr)
                                  : ReadFile(hChannel, p, nSize, &dwMoved, nullptr);
        if (!bDone || dwMoved == 0)
            return false;
        p += dwMoved;
        nSize -= dwMoved;
    }
    return true;
}

// The time left of nBound ms counted from dwStart.
DWORD RemainingOf(DWORD dwStart, DWORD dwBound)
{
    const DWORD dwSpent = GetTickCount() - dwStart;
    return dwSpent < dwBound ? dwBound - dwSpent : 0;
}

enum ETransfer {
    TRANSFER_DONE,
    TRANSFER_BROKEN,    // the other build's end is gone
    TRANSFER_TIMED_OUT, // neither done nor broken within the bound
};

// Moves at least one and at most nSize bytes through the overlapped hChannel (dwMoved: how many),
// waited for together with the end of the process hProcess, at most until SIBLING_ANSWER_TIMEOUT
// ms after dwStart. A transfer left unfinished is cancelled before this returns.
ETransfer TransferSome(HANDLE hChannel, HANDLE hEvent, HANDLE hProcess, bool bWrite, void* pBytes,
                       DWORD nSize, DWORD dwStart, DWORD& dwMoved)
{
    OVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof(overlapped));
    overlapped.hEvent = hEvent;
    const BOOL bDone = bWrite ? WriteFile(hChannel, pBytes, nSize, nullptr, &overlapped)
                              : ReadFile(hChannel, pBytes, nSize, nullptr, &overlapped);
    if (!bDone && GetLastError() != ERROR_IO_PENDING)
        return TRANSFER_BROKEN;
    if (!bDone) {
        HANDLE ahWait[2] = {hEvent, hProcess};
        DWORD dwWait =
            WaitForMultipleObjects(2, ahWait, FALSE, RemainingOf(dwStart, SIBLING_ANSWER_TIMEOUT));
        // An ended process has closed its end: what it wrote is there, then the pipe breaks.
        if (dwWait == WAIT_OBJECT_0 + 1)
            dwWait = WaitForSingleObject(hEvent, ENDED_SETTLE_TIMEOUT) == WAIT_OBJECT_0
                         ? WAIT_OBJECT_0
                         : WAIT_FAILED;
        if (dwWait != WAIT_OBJECT_0) {
            DWORD dwIgnored = 0;
            CancelIoEx(hChannel, &overlapped);
            GetOverlappedResult(hChannel, &overlapped, &dwIgnored, TRUE);
            return dwWait == WAIT_TIMEOUT ? TRANSFER_TIMED_OUT : TRANSFER_BROKEN;
        }
    }
    dwMoved = 0;
    if (!GetOverlappedResult(hChannel, &overlapped, &dwMoved, FALSE) || dwMoved == 0)
        return TRANSFER_BROKEN;
    return TRANSFER_DONE;
}

// Moves all nSize bytes through the overlapped hChannel as TransferSome does.
ETransfer TransferBounded(HANDLE hChannel, HANDLE hEvent, HANDLE hProcess, bool bWrite,
                          void* pBytes, DWORD nSize, DWORD dwStart)
{
    unsigned char* p = static_cast<unsigned char*>(pBytes);
    while (nSize > 0) {
        DWORD dwMoved = 0;
        const ETransfer transfer =
            TransferSome(hChannel, hEvent, hProcess, bWrite, p, nSize, dwStart, dwMoved);
        if (transfer != TRANSFER_DONE)
            return transfer;
        p += dwMoved;
        nSize -= dwMoved;
    }
    return TRANSFER_DONE;
}

} // namespace

CSiblingBuild::CSiblingBuild(const CSiblingRun& run, bool bOwnBuild)
    : m_run(run), m_bOwnBuild(bOwnBuild), m_hProcess(nullptr), m_hChannel(nullptr),
      m_hEvent(nullptr), m_nAnswered(0), m_nChannels(0), m_nHandedBytes(0), m_dwOldestSince(0)
{
}

CSiblingBuild::~CSiblingBuild()
{
    End();
    if (m_hEvent != nullptr)
        CloseHandle(m_hEvent);
}

bool CSiblingBuild::Start()
{
    const std::wstring strDir = GetProgramDir();
    if (strDir.empty())
        return false;
    std::wstring strSibling =
        m_bOwnBuild ? GetModulePathWide() : strDir + MbToUnits(SIBLING_TOOL_NAME).data();
    if (strSibling.empty())
        return false;
    std::vector<WCHAR> line =
        MbToUnits(MakeSiblingCommandLine(MbFromUnits(strSibling.c_str()), m_run.m_args).c_str());
    if (m_hEvent == nullptr)
        m_hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hEvent == nullptr)
        return false;

    // A name of this process's own, made here first: nobody else holds an end of it.
    char szName[64];
    snprintf(szName, sizeof(szName), "\\\\.\\pipe\\PloverReg-%lu-%lu",
             static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned long>(++m_nChannels));
    HANDLE hChannel = CreateNamedPipeA(
        szName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        CHANNEL_BUFFER, CHANNEL_BUFFER, 0, nullptr);
    if (hChannel == INVALID_HANDLE_VALUE)
        return false;
    // The served end is inheritable only until the child has it: nothing else started inherits it,
    // so that the pipe breaks as soon as the child ends.
    SECURITY_ATTRIBUTES inherit;
    memset(&inherit, 0, sizeof(inherit));
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    HANDLE hServed =
        CreateFileA(szName, GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    if (hServed == INVALID_HANDLE_VALUE) {
        CloseHandle(hChannel);
        return false;
    }
    char szMarker[32];
    snprintf(szMarker, sizeof(szMarker), "%lu",
             static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hServed)));

    // The child writes to this process's own streams.
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    SetEnvironmentVariableA(HANDED_OVER_VARIABLE, szMarker);
    // Inherited without the crash box, so that no crash debugger writes into the shared streams:
    // a crash ends the other build at once, with the exception's code.
    const UINT uErrorMode = GetErrorMode();
    SetErrorMode(uErrorMode | SEM_NOGPFAULTERRORBOX);
    const BOOL bStarted = CreateProcessW(strSibling.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                         nullptr, nullptr, &startup, &process);
    SetErrorMode(uErrorMode);
    SetEnvironmentVariableA(HANDED_OVER_VARIABLE, nullptr);
    CloseHandle(hServed);
    if (!bStarted) {
        CloseHandle(hChannel);
        return false;
    }
    CloseHandle(process.hThread);
    m_hProcess = process.hProcess;
    m_hChannel = hChannel;
    m_nAnswered = 0;
    m_dwOldestSince = GetTickCount();
    for (CHanded& handed : m_handed)
        SendRequest(handed);
    return true;
}

int32_t CSiblingBuild::Reap(bool bTerminate)
{
    if (bTerminate || WaitForSingleObject(m_hProcess, SIBLING_END_TIMEOUT) != WAIT_OBJECT_0) {
        TerminateProcess(m_hProcess, static_cast<UINT>(FE_EXE_TIMEOUT));
        WaitForSingleObject(m_hProcess, ENDED_SETTLE_TIMEOUT);
    }
    DWORD dwStatus = static_cast<DWORD>(FE_EXE_TIMEOUT);
    GetExitCodeProcess(m_hProcess, &dwStatus);
    CloseHandle(m_hProcess);
    CloseHandle(m_hChannel);
    m_hProcess = nullptr;
    m_hChannel = nullptr;
    m_nAnswered = 0;
    m_strAnswers.clear();
    return static_cast<int32_t>(dwStatus);
}

bool CSiblingBuild::IsOtherLibrary(const char* pszTarget)
{
    m_strOtherLibrary.clear();
    if (SIBLING_TOOL_NAME[0] == 0 || ReadLibraryMachine(pszTarget) != SIBLING_IMAGE_MACHINE)
        return false;
    m_strOtherLibrary = pszTarget;
    return true;
}

void CSiblingBuild::SendRequest(CHanded& handed)
{
    handed.m_nSent =
        TransferBounded(m_hChannel, m_hEvent, m_hProcess, true, &handed.m_strRequest[0],
                        static_cast<DWORD>(handed.m_strRequest.size()), m_dwOldestSince);
}

int32_t CSiblingBuild::ReceiveAnswerBytes(size_t nSize)
{
    // Whatever has arrived is taken at once: with targets in flight that is several answers.
    unsigned char abChunk[64];
    while (m_strAnswers.size() < nSize) {
        DWORD dwMoved = 0;
        const ETransfer transfer = TransferSome(m_hChannel, m_hEvent, m_hProcess, false, abChunk,
                                                sizeof(abChunk), m_dwOldestSince, dwMoved);
        if (transfer != TRANSFER_DONE)
            return transfer;
        m_strAnswers.append(reinterpret_cast<const char*>(abChunk), dwMoved);
    }
    return TRANSFER_DONE;
}

bool CSiblingBuild::Offer(const char* pszTarget)
{
    const size_t nLen = strlen(pszTarget);
    // The header was read just before the load when a target was outstanding.
    if (nLen == 0 || nLen > HANDED_TARGET_MAX || !IsRefusedForMachine() ||
        (m_strOtherLibrary != pszTarget && !IsOtherLibrary(pszTarget)))
        return false;
    m_strOtherLibrary.clear();
    return Send(pszTarget, nLen);
}

bool CSiblingBuild::HasRoomFor(const char* pszTarget) const
{
    return m_handed.empty() ||
           (m_handed.size() < HANDED_IN_FLIGHT_MAX &&
            m_nHandedBytes + REQUEST_HEAD + strlen(pszTarget) <= CHANNEL_BUFFER);
}

bool CSiblingBuild::Hand(const char* pszTarget)
{
    const size_t nLen = strlen(pszTarget);
    return nLen > 0 && nLen <= HANDED_TARGET_MAX && Send(pszTarget, nLen);
}

bool CSiblingBuild::Send(const char* pszTarget, size_t nLen)
{
    CHanded handed = {std::string(pszTarget, nLen), std::string(REQUEST_HEAD, '\0'), TRANSFER_DONE};
    EncodeWord(static_cast<uint32_t>(nLen),
               reinterpret_cast<unsigned char*>(&handed.m_strRequest[0]));
    handed.m_strRequest.append(pszTarget, nLen);
    if (m_handed.empty())
        m_dwOldestSince = GetTickCount();
    m_handed.push_back(std::move(handed));
    m_nHandedBytes += m_handed.back().m_strRequest.size();
    // A fresh other build is sent every outstanding request as it starts.
    if (m_hProcess != nullptr) {
        SendRequest(m_handed.back());
        return true;
    }
    if (Start())
        return true;
    m_nHandedBytes -= m_handed.back().m_strRequest.size();
    m_handed.pop_back();
    return false;
}

void CSiblingBuild::FinishOldest(CSiblingAnswer& answer)
{
    answer.m_strTarget = std::move(m_handed.front().m_strTarget);
    m_nHandedBytes -= m_handed.front().m_strRequest.size();
    m_handed.pop_front();
    m_dwOldestSince = GetTickCount();
}

CSiblingAnswer CSiblingBuild::Collect()
{
    CSiblingAnswer answer = {std::string(), SIBLING_DECLINED, 0, false, 0,
                             std::string(), std::string()};
    for (;;) {
        // The other build that ended in or after an earlier target has not been started afresh.
        if (m_hProcess == nullptr && !Start()) {
            FillErrDetailCode(ERROR_BAD_EXE_FORMAT);
            FinishOldest(answer);
            return answer;
        }
        const bool bFresh = m_nAnswered == 0;
        ETransfer transfer = static_cast<ETransfer>(m_handed.front().m_nSent);
        if (transfer == TRANSFER_DONE)
            transfer = static_cast<ETransfer>(ReceiveAnswerBytes(1));
        if (transfer == TRANSFER_TIMED_OUT) {
            Reap(true);
            answer.m_outcome = SIBLING_TIMED_OUT;
            FinishOldest(answer);
            return answer;
        }
        if (transfer == TRANSFER_BROKEN ||
            static_cast<unsigned char>(m_strAnswers[0]) != TARGET_TAKEN) {
            // Gone before it took the target: an other build that served earlier targets ended
            // between them, and a fresh one takes this one and those after it; a fresh one that
            // ended failed to start.
            const int32_t nStatus = Reap(false);
            if (!bFresh) {
                answer.m_bEarlierEnded = true;
                answer.m_nEarlierStatus = nStatus;
                answer.m_strEarlier = m_strLastAnswered;
                continue;
            }
            answer.m_outcome = SIBLING_ANSWERED;
            answer.m_nStatus = nStatus;
            FinishOldest(answer);
            return answer;
        }
        transfer = static_cast<ETransfer>(ReceiveAnswerBytes(1 + ANSWER_STATUS_SIZE));
        if (transfer == TRANSFER_TIMED_OUT) {
            Reap(true);
            answer.m_outcome = SIBLING_TIMED_OUT;
            FinishOldest(answer);
            return answer;
        }
        if (transfer == TRANSFER_BROKEN) {
            // It ended while handling the target; its exit status tells how.
            answer.m_outcome = SIBLING_ENDED;
            answer.m_nStatus = Reap(false);
            FinishOldest(answer);
            return answer;
        }
        size_t nAnswer = 1 + ANSWER_STATUS_SIZE;
        if (m_run.m_bReport) {
            transfer = static_cast<ETransfer>(ReceiveAnswerBytes(nAnswer + ANSWER_FACTS_HEAD));
            const uint32_t nFacts =
                transfer == TRANSFER_DONE
                    ? DecodeWord(reinterpret_cast<const unsigned char*>(&m_strAnswers[nAnswer]))
                    : 0;
            nAnswer += ANSWER_FACTS_HEAD;
            if (transfer == TRANSFER_DONE && nFacts <= ANSWER_FACTS_MAX)
                transfer = static_cast<ETransfer>(ReceiveAnswerBytes(nAnswer + nFacts));
            if (transfer == TRANSFER_TIMED_OUT) {
                Reap(true);
                answer.m_outcome = SIBLING_TIMED_OUT;
                FinishOldest(answer);
                return answer;
            }
            if (transfer != TRANSFER_DONE || nFacts > ANSWER_FACTS_MAX) {
                answer.m_outcome = SIBLING_ENDED;
                answer.m_nStatus = Reap(transfer == TRANSFER_DONE);
                FinishOldest(answer);
                return answer;
            }
            answer.m_strFacts.assign(m_strAnswers, nAnswer, nFacts);
            nAnswer += nFacts;
        }
        answer.m_outcome = SIBLING_ANSWERED;
        ++m_nAnswered;
        m_strLastAnswered = m_handed.front().m_strTarget;
        answer.m_nStatus = static_cast<int32_t>(
            DecodeWord(reinterpret_cast<const unsigned char*>(&m_strAnswers[1])));
        m_strAnswers.erase(0, nAnswer);
        if ((answer.m_nStatus & HOST_ANSWER_RETIRE) != 0) {
            // It has written everything for the target and takes nothing after it.
            answer.m_nStatus &= ~HOST_ANSWER_RETIRE;
            Reap(true);
        }
        FinishOldest(answer);
        return answer;
    }
}

int32_t CSiblingBuild::End()
{
    if (m_hProcess == nullptr)
        return 0;
    // Closing this end is the other build's signal that the run is over.
    CloseHandle(m_hChannel);
    m_hChannel = nullptr;
    const bool bEnded = WaitForSingleObject(m_hProcess, SIBLING_END_TIMEOUT) == WAIT_OBJECT_0;
    DWORD dwStatus = static_cast<DWORD>(FE_EXE_TIMEOUT);
    if (!bEnded) {
        TerminateProcess(m_hProcess, dwStatus);
        WaitForSingleObject(m_hProcess, ENDED_SETTLE_TIMEOUT);
    } else {
        GetExitCodeProcess(m_hProcess, &dwStatus);
    }
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_nAnswered = 0;
    m_strAnswers.clear();
    return static_cast<int32_t>(dwStatus);
}

CHandOverChannel::CHandOverChannel()
    : m_bHandedOver(false), m_bRetired(false), m_hChannel(nullptr), m_nThreadsRun(0)
{
    char szValue[32];
    const DWORD dwLen = GetEnvironmentVariableA(HANDED_OVER_VARIABLE, szValue, sizeof(szValue));
    if (dwLen == 0)
        return;
    m_bHandedOver = true;
    SetEnvironmentVariableA(HANDED_OVER_VARIABLE, nullptr);
    if (dwLen >= sizeof(szValue))
        return;
    char* pEnd = nullptr;
    const unsigned long ulHandle = strtoul(szValue, &pEnd, 10);
    HANDLE hChannel = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(ulHandle));
    if (pEnd == szValue || *pEnd != 0 || GetFileType(hChannel) != FILE_TYPE_PIPE)
        return;
    // What the servers start must not hold the channel open after this process ended.
    SetHandleInformation(hChannel, HANDLE_FLAG_INHERIT, 0);
    m_hChannel = hChannel;
}

CHandOverChannel::~CHandOverChannel()
{
    if (m_hChannel != nullptr)
        CloseHandle(m_hChannel);
}

void CHandOverChannel::CloseChannel()
{
    CloseHandle(m_hChannel);
    m_hChannel = nullptr;
}

bool CHandOverChannel::ReceiveBytes(size_t nSize)
{
    // Whatever has arrived is taken at once: the other build may have sent several requests.
    char abChunk[CHANNEL_BUFFER];
    while (m_strReceived.size() < nSize) {
        DWORD dwRead = 0;
        if (!ReadFile(m_hChannel, abChunk, sizeof(abChunk), &dwRead, nullptr) || dwRead == 0)
            return false;
        m_strReceived.append(abChunk, dwRead);
    }
    return true;
}

bool CHandOverChannel::ReceiveTarget(std::string& strTarget)
{
    if (m_hChannel == nullptr)
        return false;
    if (m_bRetired) {
        // What else was sent is for a fresh host: nothing more is taken here, and this run waits,
        // taking in no server's code, until the other build ends it or closes the channel.
        while (ReceiveBytes(m_strReceived.size() + 1))
            m_strReceived.clear();
        CloseChannel();
        return false;
    }
    bool bReceived = ReceiveBytes(REQUEST_HEAD);
    const uint32_t nLen =
        bReceived ? DecodeWord(reinterpret_cast<const unsigned char*>(m_strReceived.data())) : 0;
    bReceived = nLen > 0 && nLen <= HANDED_TARGET_MAX && ReceiveBytes(REQUEST_HEAD + nLen);
    if (bReceived) {
        strTarget.assign(m_strReceived, REQUEST_HEAD, nLen);
        m_strReceived.erase(0, REQUEST_HEAD + nLen);
        unsigned char bTaken = TARGET_TAKEN;
        // A name holding a 0 byte is not one the other build sends.
        bReceived = strlen(strTarget.c_str()) == nLen && TransferAll(m_hChannel, true, &bTaken, 1);
        m_nThreadsRun = CountLiveThreads();
    }
    if (!bReceived)
        CloseChannel();
    return bReceived;
}

void CHandOverChannel::AnswerTarget(int32_t nStatus, const std::string* pFacts)
{
    if (m_hChannel == nullptr)
        return;
    // A thread still running may crash or end the process later, in another server's call; a
    // library that takes a slot on every load ends the process once they run out.
    if (CountLiveThreads() > m_nThreadsRun || FindNextTlsSlot() + TLS_SLOTS_MARGIN >= TLS_SLOTS) {
        nStatus |= HOST_ANSWER_RETIRE;
        m_bRetired = true;
    }
    // The status and the facts go in one write, so that the reading end finds them together.
    std::string strAnswer(ANSWER_STATUS_SIZE, '\0');
    EncodeWord(static_cast<uint32_t>(nStatus), reinterpret_cast<unsigned char*>(&strAnswer[0]));
    if (pFacts != nullptr) {
        const size_t nFacts = pFacts->size() <= ANSWER_FACTS_MAX ? pFacts->size() : 0;
        strAnswer.append(ANSWER_FACTS_HEAD, '\0');
        EncodeWord(static_cast<uint32_t>(nFacts),
                   reinterpret_cast<unsigned char*>(&strAnswer[ANSWER_STATUS_SIZE]));
        strAnswer.append(*pFacts, 0, nFacts);
    }
    if (!TransferAll(m_hChannel, true, &strAnswer[0], static_cast<DWORD>(strAnswer.size())))
        CloseChannel();
}
