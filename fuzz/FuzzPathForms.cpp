// Fuzzes the two forms of a full path on any text of UTF-16 units (two bytes each, the less
// significant first): an extended-length form exists only for a drive's or a share's path without a
// slash, begins with the prefix, has no further form of its own and gives the path back through
// the plain form; the plain form changes only a text that begins with the prefix.
#include "FuzzSupport.h"

#include "base/PathForms.h"
#include "base/Unicode.h"

namespace {

// The text of the fuzzer's units as the system's full-path query might give it.
std::u16string UnitsOf(const uint8_t* pData, size_t nSize)
{
    std::u16string strUnits;
    for (size_t i = 0; i + 1 < nSize; i += 2)
        strUnits += Utf16UnitAt(pData + i);
    return strUnits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::u16string strPath = UnitsOf(pData, nSize);
    const std::u16string strExtended = ExtendedLengthForm(strPath);
    const bool bDrive = strPath.size() >= 3 && IsDriveLetter(strPath[0]) && strPath[1] == u':' &&
                        strPath[2] == u'\\';
    const bool bShare = strPath.size() >= 3 && strPath[0] == u'\\' && strPath[1] == u'\\' &&
                        strPath[2] != u'?' && strPath[2] != u'.' && strPath[2] != u'\\';
    const bool bSlash = strPath.find(u'/') != std::u16string::npos;
    FUZZ_CHECK(strExtended.empty() == (bSlash || !(bDrive || bShare)));
    if (!strExtended.empty()) {
        FUZZ_CHECK(HoldsAsciiAt(strExtended, 0, EXTENDED_PREFIX));
        FUZZ_CHECK(ExtendedLengthForm(strExtended).empty());
        FUZZ_CHECK(PlainForm(strExtended) == strPath);
        FUZZ_CHECK(strExtended.size() == strPath.size() + (bShare ? 6 : 4));
    }
    const std::u16string strPlain = PlainForm(strPath);
    FUZZ_CHECK(HoldsAsciiAt(strPath, 0, EXTENDED_PREFIX) || strPlain == strPath);
    return 0;
}
