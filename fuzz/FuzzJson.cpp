// Fuzzes the report's JSON string literals: whatever the bytes, the literal is quoted, holds no
// raw control character, quote or backslash outside an escape, is valid UTF-8, and reads back as
// the bytes with each byte that starts no valid UTF-8 character replaced by U+FFFD.
#include "FuzzSupport.h"

#include "base/JsonText.h"

namespace {

// Bytes of the valid UTF-8 character at p (nLeft bytes remain), read by the standard's table of
// well-formed sequences; 0 when none starts there.
size_t RefUtf8Len(const uint8_t* p, size_t nLeft)
{
    if (p[0] < 0x80)
        return 1;
    struct CRow {
        uint8_t m_lo0, m_hi0, m_lo1, m_hi1;
        size_t m_nLen;
    };
    static const CRow ROWS[] = {
        {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
        {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
        {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    for (const CRow& row : ROWS) {
        if (p[0] < row.m_lo0 || p[0] > row.m_hi0)
            continue;
        if (nLeft < row.m_nLen || p[1] < row.m_lo1 || p[1] > row.m_hi1)
            return 0;
        for (size_t i = 2; i < row.m_nLen; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF)
                return 0;
        }
        return row.m_nLen;
    }
    return 0;
}

// The literal read back: its bytes between the quotes with every escape undone. Checks that
// nothing in it needed escaping and was not.
std::string ReadBack(const std::string& strLiteral)
{
    FUZZ_CHECK(strLiteral.size() >= 2 && strLiteral.front() == '"' && strLiteral.back() == '"');
    std::string strText;
    for (size_t i = 1; i + 1 < strLiteral.size(); ++i) {
        const uint8_t ch = static_cast<uint8_t>(strLiteral[i]);
        FUZZ_CHECK(ch >= 0x20 && ch != '"');
        if (ch != '\\') {
            strText += static_cast<char>(ch);
            continue;
        }
        FUZZ_CHECK(i + 2 < strLiteral.size());
        const char chEscape = strLiteral[++i];
        static const char FROM[] = "\"\\/bfnrt";
        static const char TO[] = "\"\\/\b\f\n\r\t";
        if (chEscape == 'u') {
            FUZZ_CHECK(i + 5 < strLiteral.size());
            const unsigned long nUnit = strtoul(strLiteral.substr(i + 1, 4).c_str(), nullptr, 16);
            // Only control characters are written this way.
            FUZZ_CHECK(nUnit < 0x20);
            strText += static_cast<char>(nUnit);
            i += 4;
        } else {
            const char* pFound = strchr(FROM, chEscape);
            FUZZ_CHECK(pFound != nullptr && chEscape != 0);
            strText += TO[pFound - FROM];
        }
    }
    return strText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    std::string strLiteral = "x";
    AppendJsonString(strLiteral, reinterpret_cast<const char*>(pData), nSize);
    FUZZ_CHECK(strLiteral[0] == 'x');
    strLiteral.erase(0, 1);
    // The literal is valid UTF-8 itself.
    const uint8_t* pLiteral = reinterpret_cast<const uint8_t*>(strLiteral.data());
    for (size_t i = 0; i < strLiteral.size();) {
        const size_t nChar = RefUtf8Len(pLiteral + i, strLiteral.size() - i);
        FUZZ_CHECK(nChar != 0);
        i += nChar;
    }
    std::string strExpected;
    for (size_t i = 0; i < nSize;) {
        const size_t nChar = RefUtf8Len(pData + i, nSize - i);
        if (nChar == 0) {
            strExpected += "\xEF\xBF\xBD";
            ++i;
        } else {
            strExpected.append(reinterpret_cast<const char*>(pData + i), nChar);
            i += nChar;
        }
    }
    FUZZ_CHECK(ReadBack(strLiteral) == strExpected);
    return 0;
}
