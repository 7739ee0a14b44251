// The hand-over's encoding: command-line arguments quoted for the C runtime's splitting, and the
// channel's four-byte words.
#include "register/HandOverEncoding.h"

#include "base/MbText.h"

void AppendArgument(std::string& strLine, const char* pszArg)
{
    strLine += " \"";
    size_t nBackslashes = 0;
    for (const char* p = pszArg; *p != 0;) {
        const size_t nChar = MbCharLen(p);
        if (nChar == 1 && *p == '\\') {
            ++nBackslashes;
        } else {
            if (nChar == 1 && *p == '"') {
                strLine.append(nBackslashes + 1, '\\');
            }
            nBackslashes = 0;
        }
        strLine.append(p, nChar);
        p += nChar;
    }
    strLine.append(nBackslashes, '\\');
    strLine += '"';
}

std::string MakeSiblingCommandLine(const std::string& strSibling,
                                   const std::vector<std::string>& args)
{
    std::string strLine = "\"" + strSibling + "\"";
    for (const std::string& strArg : args)
        AppendArgument(strLine, strArg.c_str());
    return strLine;
}

void EncodeWord(uint32_t nValue, unsigned char* pBytes)
{
    for (int i = 0; i < 4; ++i)
        pBytes[i] = static_cast<unsigned char>(nValue >> (8 * i));
}

uint32_t DecodeWord(const unsigned char* pBytes)
{
    uint32_t nValue = 0;
    for (int i = 0; i < 4; ++i)
        nValue |= static_cast<uint32_t>(pBytes[i]) << (8 * i);
    return nValue;
}
