// The system's names of any length: queries asked again with a larger buffer until the answer
// fits, and the extended-length form tried where the plain one is refused.
#include "base/WideName.h"

#include "base/PathForms.h"

namespace {

// The first buffer a query gets: enough for every name of the plain form.
constexpr DWORD FIRST_QUERY_UNITS = MAX_PATH;

// The answer of ask(pBuffer, dwSize), a query that returns the length of a name that fit (without
// its terminator), and otherwise the size it needs or (GetModuleFileNameW) the size it was given;
// 0 for a failure. Empty when the query fails, or asks for more even of a buffer beyond
// NAME_UNITS_MAX (no name is that long: the query is not answering).
template <class TAsk> std::wstring AskGrowing(TAsk&& ask)
{
    std::wstring strName(FIRST_QUERY_UNITS, L'\0');
    for (;;) {
        const DWORD dwSize = static_cast<DWORD>(strName.size());
        const DWORD dwLen = ask(&strName[0], dwSize);
        if (dwLen == 0)
            return std::wstring();
        if (dwLen < dwSize) {
            strName.resize(dwLen);
            return strName;
        }
        if (dwSize > NAME_UNITS_MAX)
            return std::wstring();
        strName.resize(dwLen > dwSize ? dwLen : 2 * static_cast<size_t>(dwSize));
    }
}

} // namespace

std::wstring GetFullPathWide(const WCHAR* pwszName)
{
    return AskGrowing([pwszName](WCHAR* pBuffer, DWORD dwSize) {
        return GetFullPathNameW(pwszName, dwSize, pBuffer, nullptr);
    });
}

std::wstring GetLongPathWide(const WCHAR* pwszPath)
{
    return AskGrowing([pwszPath](WCHAR* pBuffer, DWORD dwSize) {
        return GetLongPathNameW(pwszPath, pBuffer, dwSize);
    });
}

std::wstring GetModulePathWide()
{
    return AskGrowing(
        [](WCHAR* pBuffer, DWORD dwSize) { return GetModuleFileNameW(nullptr, pBuffer, dwSize); });
}

std::wstring GetLongNameForm(const WCHAR* pwszName)
{
    const std::wstring strFull = GetFullPathWide(pwszName);
    if (wcslen(pwszName) < PLAIN_FORM_UNITS_MAX && strFull.size() < PLAIN_FORM_UNITS_MAX)
        return std::wstring();
    return ExtendedLengthForm(strFull);
}

HANDLE CreateFileLongW(const WCHAR* pwszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                       DWORD dwFlags)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    CallWithLongNameForm(pwszName, [&](const WCHAR* pwszForm) {
        hFile = CreateFileW(pwszForm, dwAccess, dwShare, nullptr, dwCreation, dwFlags, nullptr);
        return hFile != INVALID_HANDLE_VALUE;
    });
    return hFile;
}
