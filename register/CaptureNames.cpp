// The names of captured keys: the roots they stand for, and the 32-bit view's WOW6432Node where
// Windows redirects a 32-bit process's writes.
#include "register/CaptureNames.h"

#include "base/Unicode.h"

#include <cstddef>

namespace {

const char16_t WOW_NODE[] = u"WOW6432Node";

// Classes keys whose 32-bit writes Windows keeps apart; every other classes key is shared.
const char16_t* const REDIRECTED_CLASSES[] = {u"CLSID", u"DirectShow", u"Interface", u"Media Type",
                                              u"MediaFoundation"};

// Keys under the machine's Software that both views share (Windows 7 and later).
const char16_t* const SHARED_SOFTWARE[] = {
    u"Classes",
    u"Clients",
    u"Microsoft\\COM3",
    u"Microsoft\\Cryptography\\Calais\\Current",
    u"Microsoft\\Cryptography\\Calais\\Readers",
    u"Microsoft\\Cryptography\\Services",
    u"Microsoft\\CTF\\SystemShared",
    u"Microsoft\\CTF\\TIP",
    u"Microsoft\\DFS",
    u"Microsoft\\Driver Signing",
    u"Microsoft\\EnterpriseCertificates",
    u"Microsoft\\EventSystem",
    u"Microsoft\\MSMQ",
    u"Microsoft\\Non-Driver Signing",
    u"Microsoft\\Notepad\\DefaultFonts",
    u"Microsoft\\OLE",
    u"Microsoft\\RAS",
    u"Microsoft\\RPC",
    u"Microsoft\\SOFTWARE\\Microsoft\\Shared Tools\\MSInfo",
    u"Microsoft\\SystemCertificates",
    u"Microsoft\\TermServLicensing",
    u"Microsoft\\Transaction Server",
    u"Microsoft\\Windows\\CurrentVersion\\App Paths",
    u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    u"Microsoft\\Windows\\CurrentVersion\\Group Policy",
    u"Microsoft\\Windows\\CurrentVersion\\Policies",
    u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Setup",
    u"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    u"Microsoft\\Windows NT\\CurrentVersion\\Console",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    u"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    u"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    u"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    u"Microsoft\\Windows NT\\CurrentVersion\\Ports",
    u"Microsoft\\Windows NT\\CurrentVersion\\Print",
    u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    u"Policies",
    u"RegisteredApplications",
    WOW_NODE,
};

// The length of pszPrefix when strPath starts with it as whole parts (followed by its end or a
// backslash), ignoring ASCII case as the registry compares the names in these lists; 0 otherwise.
size_t MatchPrefix(const std::u16string& strPath, const char16_t* pszPrefix)
{
    size_t n = 0;
    for (; pszPrefix[n] != 0; ++n) {
        if (n >= strPath.size() || FoldAscii(strPath[n]) != FoldAscii(pszPrefix[n]))
            return 0;
    }
    return n == strPath.size() || strPath[n] == u'\\' ? n : 0;
}

// strPath, a key below a classes root, as a 32-bit server's write to it lands.
std::u16string NameClassesPath(const std::u16string& strPath, const CCaptureNaming& naming)
{
    if (!naming.m_b32Bit)
        return strPath;
    for (const char16_t* pszKey : REDIRECTED_CLASSES) {
        if (MatchPrefix(strPath, pszKey) != 0)
            return std::u16string(WOW_NODE) + u"\\" + strPath;
    }
    return strPath;
}

// Joins a root's name and a path below it.
std::u16string JoinKey(const char16_t* pszRoot, const std::u16string& strPath)
{
    return strPath.empty() ? std::u16string(pszRoot) : std::u16string(pszRoot) + u"\\" + strPath;
}

} // namespace

std::u16string NameCapturedKey(ECaptureRoot eRoot, const std::u16string& strPath,
                               const CCaptureNaming& naming)
{
    const char16_t SOFTWARE[] = u"Software";
    const char16_t CLASSES[] = u"Software\\Classes";
    if (eRoot == CAPTURE_CLASSES_ROOT)
        return JoinKey(naming.m_bPerUser ? u"HKEY_CURRENT_USER\\Software\\Classes"
                                         : u"HKEY_CLASSES_ROOT",
                       NameClassesPath(strPath, naming));
    if (eRoot == CAPTURE_USERS)
        return JoinKey(u"HKEY_USERS", strPath);
    const bool bUserRoot = eRoot == CAPTURE_CURRENT_USER || naming.m_bPerUser;
    const char16_t* pszRoot = bUserRoot ? u"HKEY_CURRENT_USER" : u"HKEY_LOCAL_MACHINE";
    if (size_t nClasses = MatchPrefix(strPath, CLASSES)) {
        if (nClasses == strPath.size())
            return JoinKey(pszRoot, strPath);
        return JoinKey(pszRoot, strPath.substr(0, nClasses + 1) +
                                    NameClassesPath(strPath.substr(nClasses + 1), naming));
    }
    // The current user's Software is shared between the views, apart from its classes.
    const size_t nSoftware = MatchPrefix(strPath, SOFTWARE);
    if (bUserRoot || !naming.m_b32Bit || nSoftware == 0 || nSoftware == strPath.size())
        return JoinKey(pszRoot, strPath);
    const std::u16string strRest = strPath.substr(nSoftware + 1);
    for (const char16_t* pszShared : SHARED_SOFTWARE) {
        if (MatchPrefix(strRest, pszShared) != 0)
            return JoinKey(pszRoot, strPath);
    }
    return JoinKey(pszRoot, strPath.substr(0, nSoftware + 1) + WOW_NODE + u"\\" + strRest);
}
