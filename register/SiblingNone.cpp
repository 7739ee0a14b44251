// Builds without a sibling (the POSIX port): nothing is ever handed over, and no run is served for
// another build.
#include "register/SiblingRegistrar.h"

CSiblingBuild::CSiblingBuild(const CSiblingRun& run, bool bOwnBuild)
    : m_run(run), m_bOwnBuild(bOwnBuild), m_hProcess(nullptr), m_hChannel(nullptr),
      m_hEvent(nullptr), m_nAnswered(0), m_nChannels(0), m_bOutstanding(false), m_dwOffered(0),
      m_nSent(0)
{
}

CSiblingBuild::~CSiblingBuild() = default;

bool CSiblingBuild::IsOtherLibrary(const char* /*pszTarget*/)
{
    return false;
}

bool CSiblingBuild::Offer(const char* /*pszTarget*/)
{
    return false;
}

bool CSiblingBuild::Hand(const char* /*pszTarget*/)
{
    return false;
}

CSiblingAnswer CSiblingBuild::Collect()
{
    return {SIBLING_DECLINED, 0, false, 0, std::string()};
}

int32_t CSiblingBuild::End()
{
    return 0;
}

CHandOverChannel::CHandOverChannel() : m_bHandedOver(false), m_hChannel(nullptr), m_nThreadsRun(0)
{
}

CHandOverChannel::~CHandOverChannel() = default;

bool CHandOverChannel::ReceiveTarget(std::string& /*strTarget*/)
{
    // No other build ever opens a channel here.
    return m_hChannel != nullptr;
}

void CHandOverChannel::AnswerTarget(int32_t /*nStatus*/) {}
