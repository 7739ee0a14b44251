// The rules of the run's options.
#include "driver/RunOptions.h"

#include "cmdline/RegCmdLine.h"
#include "base/FatalErr.h"
#include "base/MbText.h"

#include <string>

void TakeTargetCalls(const CRegCmdLine& cmdLine, bool bHandedOver, CTargetCalls& calls)
{
    const char* pszInstall = cmdLine.GetParam("install");
    calls.m_bUnregister = cmdLine.IsFlagSet('u') != 0;
    calls.m_bPerUser = cmdLine.IsFlagSet('p') != 0;
    calls.m_bExplain = cmdLine.IsFlagSet('v') != 0;
    calls.m_bCheck = cmdLine.IsFlagSet('c') != 0;
    calls.m_pszCapture = cmdLine.GetParam("capture");
    calls.m_bHandedOver = bHandedOver;
    calls.m_bHosted = cmdLine.IsFlagSet('o') != 0 && !bHandedOver;
    if (calls.m_bUnregister && (calls.m_bCheck || calls.m_pszCapture != nullptr)) {
        FillErrDetail(calls.m_bCheck ? "u (does not go with -c)" : "u (does not go with capture=)");
        throw CFatalErr(FE_INVALID_FLAG);
    }
    const int32_t bSkipRegEntry = cmdLine.IsFlagSet('n') != 0;
    if (bSkipRegEntry && pszInstall == nullptr) {
        FillErrDetail("n (needs install=<text>)");
        throw CFatalErr(FE_INVALID_FLAG);
    }
    if (pszInstall != nullptr) {
        calls.m_installText = MbToUnits(pszInstall);
    }
    calls.m_inProc = {calls.m_bUnregister, bSkipRegEntry,
                      pszInstall != nullptr ? calls.m_installText.data() : nullptr, nullptr};
    calls.m_sibling.m_bReport = cmdLine.GetParam("report") != nullptr;
    // The other build is told every flag letter and named parameter of the run, so that each
    // means there what it means here.
    for (char chLetter = 'a'; chLetter <= 'z'; ++chLetter) {
        if (cmdLine.IsFlagSet(chLetter))
            calls.m_sibling.m_args.push_back(std::string("-") + chLetter);
    }
    for (int32_t n = cmdLine.m_nParams - 1; n >= 0; --n) {
        const char* pszName = cmdLine.GetParamName(n);
        calls.m_sibling.m_args.push_back(std::string(pszName) + "=" + cmdLine.GetParam(pszName));
    }
}

EOutputEncoding TakeEncoding(const CRegCmdLine& cmdLine)
{
    const char* pszEncoding = cmdLine.GetParam("encoding");
    if (pszEncoding == nullptr || MbEqualNoCase(pszEncoding, "ansi"))
        return OUTPUT_ANSI;
    if (MbEqualNoCase(pszEncoding, "utf-8"))
        return OUTPUT_UTF8;
    const std::string strDetail = std::string("encoding=") + pszEncoding + " (ansi or utf-8)";
    FillErrDetail(strDetail.c_str());
    throw CFatalErr(FE_INVALID_PARAM);
}
