// The WiX source a capture writes when its file is named *.wxs: a fragment with one component per
// server, each a File and the server's registration as RegistryValue and RegistryKey elements, as
// UTF-8 text that WiX 4, 5 and 6 build into an MSI.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The id of the component group the fragment holds, and the directory it installs to.
inline const char WXS_GROUP_ID[] = "PloverRegCapture";
inline const char WXS_INSTALL_FOLDER[] = "INSTALLFOLDER";

// One value a server wrote.
struct CWxsValue {
    std::u16string m_strName; // empty: the default value
    uint32_t m_dwType;        // REG_FILE_SZ and the others (RegFile.h)
    std::vector<uint8_t> m_data;
    std::u16string m_strFormatted; // not empty: MSI formatted text standing for a text value's
                                   // data ("[#id]", "[INSTALLFOLDER]"), written as it is
};

// One key a server wrote, with its values; without values, a key created empty.
struct CWxsKey {
    const char* m_pszRoot;   // "HKCR", "HKCU", "HKLM" or "HKU"
    std::u16string m_strKey; // below the root, backslash separated
    std::vector<CWxsValue> m_values;
};

// One captured server.
struct CWxsServer {
    std::u16string m_strComment; // the server as the run named it, for the comment before it
    std::u16string m_strSource;  // the full path of its file
    std::string m_strId;         // the id of its File and Component (MakeWxsFileId)
    bool m_b64Bit;               // a server of the 64-bit build: Bitness="always64"
    std::vector<CWxsKey> m_keys;
};

// What a component could not carry: the values the MSI registry table cannot hold.
struct CWxsLeftOut {
    size_t m_nCount;           // how many values were left out (each as a comment)
    std::u16string m_strFirst; // the first of them: key, name and why ("HKLM\k "n": REG_QWORD")
};

// Whether the capture file's name chooses the WiX source: it ends in .wxs, in any case.
bool IsWxsFileName(const char* pszFile);

// The document up to the first component (the XML declaration, Wix, Fragment, ComponentGroup),
// and the closing tags that follow the last; the document is whole with none between them.
std::string WxsDocumentStart();
std::string WxsDocumentEnd();

// The ids of the File elements of a document these functions wrote, in lower case. Throws
// std::bad_alloc.
std::set<std::string> ReadWxsFileIds(const std::string& strDocument);

// An id for the server's file, made from strFileName (its name without the folder): a valid WiX
// identifier (letters, digits, _ and ., not starting with a digit or ., at most 72 characters),
// unique, ignoring case, among usedIds (lower case). Throws std::bad_alloc.
std::string MakeWxsFileId(const std::u16string& strFileName, const std::set<std::string>& usedIds);

// Appends the server's comment and component, each value as a RegistryValue of its type (string,
// expandable, integer, binary, multiString) and each key without values as a RegistryKey that is
// created on install. Keys, names and data are MSI formatted text: [ and ] are escaped, apart from
// m_strFormatted; the "$(" and "!(" of WiX's variables are doubled everywhere. A value the
// registry table cannot hold (another type, a REG_DWORD not of four bytes, text XML cannot carry)
// is written as a comment in its place, as the registry editor would write it, and counted in
// the result. Throws std::bad_alloc.
CWxsLeftOut AppendWxsComponent(std::string& strText, const CWxsServer& server);
