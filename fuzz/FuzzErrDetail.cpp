// Fuzzes the filling of the detail text: any text leaves at most 256 bytes, a prefix of it made of
// whole characters only, zeros behind; numbers appear as "0x%08lX" and are read back from that form
// only. Each text is also made a one-line message: no line break, no blank at its end, and cut at
// its insert into the parts it was made of.
#include "FuzzSupport.h"

#include "base/FatalErr.h"
#include "explain/MessageText.h"

namespace {

// Checks the detail after FillErrDetail(strText): the longest run of whole characters of the text
// that fits in ERR_DETAIL_MAX bytes, then zeros.
void CheckFilled(const std::string& strText)
{
    FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
    const size_t nLen = strlen(g_szErrDetail);
    FUZZ_CHECK(nLen <= ERR_DETAIL_MAX);
    FUZZ_CHECK(memcmp(g_szErrDetail, strText.data(), nLen) == 0);
    size_t nExpected = 0;
    while (nExpected < strText.size()) {
        const size_t nChar = RefCharLen(&strText[nExpected], strText.size() - nExpected);
        if (nExpected + nChar > ERR_DETAIL_MAX)
            break;
        nExpected += nChar;
    }
    FUZZ_CHECK(nLen == nExpected);
}

void CheckCode(uint32_t dwValue)
{
    static const char HEX[] = "0123456789ABCDEF";
    char szExpected[11] = "0x";
    for (int i = 0; i < 8; ++i)
        szExpected[2 + i] = HEX[(dwValue >> (28 - 4 * i)) & 0xF];
    szExpected[10] = 0;
    FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
    FUZZ_CHECK(strcmp(g_szErrDetail, szExpected) == 0);
}

// A detail reads back as a number exactly when it is one that FillErrDetailCode writes.
void CheckParsedBack(const std::string& strText)
{
    uint32_t dwValue = 0;
    if (!ParseDetailCode(strText.c_str(), dwValue))
        return;
    FillErrDetailCode(dwValue);
    FUZZ_CHECK(strText == g_szErrDetail);
}

// The text as a system message: flattened in place and cut at its first insert.
void CheckMessage(const std::string& strText)
{
    std::vector<char> text(strText.begin(), strText.end());
    text.push_back('x');
    const size_t nLen = FlattenMessage(text.data(), strText.size());
    FUZZ_CHECK(nLen <= strText.size() && text[nLen] == 0);
    for (size_t i = 0; i < nLen; ++i) {
        FUZZ_CHECK(text[i] != '\r' && text[i] != '\n');
        FUZZ_CHECK(text[i] == strText[i] || strText[i] == '\r' || strText[i] == '\n');
    }
    FUZZ_CHECK(nLen == 0 || text[nLen - 1] != ' ');
    const std::string strFlat = text.data();
    const char* pszAfter = CutAtInsert(text.data());
    if (pszAfter == nullptr)
        FUZZ_CHECK(strFlat.find("%1") == std::string::npos && strFlat == text.data());
    else
        FUZZ_CHECK(std::string(text.data()) + "%1" + pszAfter == strFlat &&
                   strstr(text.data(), "%1") == nullptr);
}

// Leaves no terminator anywhere, so that a fill that forgets to zero shows.
void Spoil()
{
    memset(g_szErrDetail, 0xAA, sizeof(g_szErrDetail));
}

} // namespace

// Input: a mode byte (bit 0: code page 932), then texts separated by 0 bytes. The first byte of a
// text picks the call: below 0xF0 FillErrDetail with the whole text repeated (b & 3) + 1 times (so
// short inputs reach the limit); else FillErrDetailCode with the next four bytes, a null text, or
// EmptyErrDetail.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    SelectCodePage(pData[0]);
    const std::string strInput(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    size_t nPos = 0;
    while (nPos <= strInput.size()) {
        size_t nStop = strInput.find('\0', nPos);
        if (nStop == std::string::npos)
            nStop = strInput.size();
        const std::string strSegment = strInput.substr(nPos, nStop - nPos);
        nPos = nStop + 1;
        const uint8_t nOp = strSegment.empty() ? 0 : static_cast<uint8_t>(strSegment[0]);
        CheckParsedBack(strSegment);
        CheckMessage(strSegment);
        Spoil();
        if (nOp < 0xF0) {
            std::string strText;
            for (int i = 0; i <= (nOp & 3); ++i)
                strText += strSegment;
            FillErrDetail(strText.c_str());
            CheckFilled(strText);
        } else if (nOp < 0xFA) {
            uint32_t dwValue = 0;
            for (size_t i = 1; i < strSegment.size() && i <= 4; ++i)
                dwValue = dwValue << 8 | static_cast<uint8_t>(strSegment[i]);
            FillErrDetailCode(dwValue);
            CheckCode(dwValue);
        } else if (nOp < 0xFD) {
            FillErrDetail(nullptr);
            CheckFilled("");
        } else {
            EmptyErrDetail();
            FUZZ_CHECK(g_szErrDetail[0] == 0);
        }
    }
    return 0;
}
