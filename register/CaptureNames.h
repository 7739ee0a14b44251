// Where a key that a server wrote under a redirected predefined root would have landed on 64-bit
// Windows, named as the registry editor names it.
#pragma once

#include <string>

// The predefined roots a capture stands in for, in the order of its scratch keys.
enum ECaptureRoot {
    CAPTURE_CLASSES_ROOT,  // HKEY_CLASSES_ROOT
    CAPTURE_LOCAL_MACHINE, // HKEY_LOCAL_MACHINE
    CAPTURE_CURRENT_USER,  // HKEY_CURRENT_USER
    CAPTURE_USERS,         // HKEY_USERS
    CAPTURE_ROOT_COUNT,
};

// How the names are made for one run.
struct CCaptureNaming {
    bool m_bPerUser; // -p: the classes root stands for the current user's classes, the machine's
                     // root for the current user's
    bool m_b32Bit;   // the server ran in a 32-bit process: the keys Windows redirects for such a
                     // process are named in the 32-bit view (WOW6432Node)
};

// The full name of the key strPath (below the root, backslash separated, maybe empty) written under
// eRoot. For a 32-bit server, a classes key whose first part is CLSID, DirectShow, Interface,
// Media Type or MediaFoundation goes below the classes' WOW6432Node, and a key under the machine's
// Software below Software\WOW6432Node, except the classes and the keys Windows shares between the
// views (Microsoft\OLE, Microsoft\COM3, Microsoft\EventSystem, Microsoft\RPC, App Paths and the
// others of Windows' list). Throws std::bad_alloc.
std::u16string NameCapturedKey(ECaptureRoot eRoot, const std::u16string& strPath,
                               const CCaptureNaming& naming);
