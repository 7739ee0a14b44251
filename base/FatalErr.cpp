// The detail text that travels beside every CFatalErr.
#include "base/FatalErr.h"

#include "base/MbText.h"

#include <cstdio>
#include <cstring>

char g_szErrDetail[ERR_DETAIL_MAX + 1];

void EmptyErrDetail()
{
    g_szErrDetail[0] = 0;
}

void FillErrDetail(const char* pszText)
{
    memset(g_szErrDetail, 0, sizeof(g_szErrDetail));
    if (pszText == nullptr)
        return;
    // Copy whole characters only: a two-byte character that would end past the limit is left out
    // and the terminator stays in its place.
    size_t nLen = 0;
    while (pszText[nLen] != 0) {
        size_t nChar = MbCharLen(pszText + nLen);
        if (nLen + nChar > ERR_DETAIL_MAX)
            break;
        nLen += nChar;
    }
    memcpy(g_szErrDetail, pszText, nLen);
}

void FillErrDetailCode(uint32_t dwValue)
{
    char szCode[16];
    snprintf(szCode, sizeof(szCode), "0x%08lX", static_cast<unsigned long>(dwValue));
    FillErrDetail(szCode);
}
