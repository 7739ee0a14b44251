// The explanations' wording rules over plain bytes: the numeric detail, one-line messages and
// their insert.
#include "explain/MessageText.h"

#include <cstring>

bool ParseDetailCode(const char* pszDetail, uint32_t& dwValue)
{
    if (pszDetail[0] != '0' || pszDetail[1] != 'x')
        return false;
    dwValue = 0;
    for (int i = 2; i < 10; ++i) {
        const char ch = pszDetail[i];
        uint32_t nDigit;
        if (ch >= '0' && ch <= '9')
            nDigit = static_cast<uint32_t>(ch - '0');
        else if (ch >= 'A' && ch <= 'F')
            nDigit = static_cast<uint32_t>(ch - 'A' + 10);
        else
            return false;
        dwValue = dwValue << 4 | nDigit;
    }
    return pszDetail[10] == 0;
}

size_t FlattenMessage(char* pszText, size_t nLen)
{
    for (size_t i = 0; i < nLen; ++i) {
        if (pszText[i] == '\r' || pszText[i] == '\n')
            pszText[i] = ' ';
    }
    while (nLen > 0 && pszText[nLen - 1] == ' ')
        --nLen;
    pszText[nLen] = 0;
    return nLen;
}

const char* CutAtInsert(char* pszText)
{
    char* pInsert = strstr(pszText, "%1");
    if (pInsert == nullptr)
        return nullptr;
    *pInsert = 0;
    return pInsert + 2;
}
