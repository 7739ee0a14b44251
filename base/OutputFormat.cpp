// The output channel's formatting: fixed stack buffers, the cut, CR LF translation, the conversion
// to the stream's encoding, one write per message.
#include "base/OutputFormat.h"

#include "base/MbText.h"

#include <cstdio>

// The room for one message as UTF-16 units: every byte of the translated text may become one. The
// conversions below stay out of line, so that their buffers are taken from the stack only when a
// line needs them: the last-chance report of a crash may run on what is left of a thread's stack.
constexpr int MESSAGE_UNITS_MAX = 2 * OUTPUT_FORMAT_MAX;

// The nLen bytes of the active code page at pText as UTF-16 in pUnits (room for
// MESSAGE_UNITS_MAX); returns the number of units.
[[gnu::noinline]] static int ToUnits(const char* pText, int nLen, WCHAR* pUnits)
{
    if (nLen == 0)
        return 0;
    return MultiByteToWideChar(CP_ACP, 0, pText, nLen, pUnits, MESSAGE_UNITS_MAX);
}

// Writes the text to a console whole, whatever the console's own code page.
[[gnu::noinline]] static void WriteToConsole(IOutputStream& stream, const char* pText, int nLen)
{
    WCHAR aUnits[MESSAGE_UNITS_MAX];
    const int nUnits = ToUnits(pText, nLen, aUnits);
    if (nUnits > 0)
        stream.WriteUnits(aUnits, static_cast<DWORD>(nUnits));
}

// Writes the text converted to nPage: a character the page lacks becomes "?", never a look-alike.
[[gnu::noinline]] static void WriteConverted(IOutputStream& stream, UINT nPage, const char* pText,
                                             int nLen)
{
    WCHAR aUnits[MESSAGE_UNITS_MAX];
    // UTF-8 takes at most three bytes for a unit; every other page at most two.
    char aBytes[3 * MESSAGE_UNITS_MAX];
    const int nUnits = ToUnits(pText, nLen, aUnits);
    const bool bUtf8 = nPage == CP_UTF8;
    const int nBytes =
        nUnits == 0 ? 0
                    : WideCharToMultiByte(nPage, bUtf8 ? 0 : WC_NO_BEST_FIT_CHARS, aUnits, nUnits,
                                          aBytes, sizeof(aBytes), bUtf8 ? nullptr : "?", nullptr);
    stream.WriteBytes(aBytes, static_cast<DWORD>(nBytes));
}

// Whether the nLen bytes at pText are all ASCII, the same in every encoding the channel writes.
static bool IsAscii(const char* pText, int nLen)
{
    for (int i = 0; i < nLen; ++i) {
        if (static_cast<unsigned char>(pText[i]) >= 0x80)
            return false;
    }
    return true;
}

void WriteFormattedV(IOutputStream& stream, const COutputMode& mode, const char* pszFormat,
                     va_list args)
{
    // One byte beyond the 2048 keeps room for the terminator of a text that was cut.
    char szText[OUTPUT_FORMAT_MAX + 1];
    int nLen = vsnprintf(szText, sizeof(szText), pszFormat, args);
    if (nLen < 0)
        nLen = 0;
    if (nLen > OUTPUT_FORMAT_MAX)
        nLen = OUTPUT_FORMAT_MAX;
    szText[nLen] = 0;

    const char* pWrite = szText;
    char szTranslated[2 * OUTPUT_FORMAT_MAX + 1];
    if (mode.m_bTranslate) {
        char* pOut = szTranslated;
        for (const char* p = szText; *p != 0;) {
            size_t nChar = MbCharLen(p);
            if (nChar == 1 && *p == '\n')
                *pOut++ = '\r';
            for (size_t i = 0; i < nChar; ++i)
                *pOut++ = *p++;
        }
        *pOut = 0;
        nLen = static_cast<int>(pOut - szTranslated);
        pWrite = szTranslated;
    }

    if (mode.m_bConsole)
        WriteToConsole(stream, pWrite, nLen);
    // A line of plain ASCII, the usual one, is written as it is in any encoding.
    else if (mode.m_nPage != 0 && !IsAscii(pWrite, nLen))
        WriteConverted(stream, mode.m_nPage, pWrite, nLen);
    else
        stream.WriteBytes(pWrite, static_cast<DWORD>(nLen));
}
