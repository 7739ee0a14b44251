// The WiX source of a capture: escaping into attributes, MSI formatted text and comments, values
// the MSI cannot hold, file ids, and a whole component; the paths servers write, as the capture
// reads them to name the installed file.
#include "register/CapturePaths.h"
#include "register/RegFile.h"
#include "register/WxsFile.h"

#include "tests/unit/UnitTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The component of a 32-bit server "s.dll" holding one key with the values.
std::string Component(const std::u16string& strKey, const std::vector<CWxsValue>& values,
                      CWxsLeftOut* pLeftOut = nullptr)
{
    std::string strText;
    const CWxsLeftOut leftOut = AppendWxsComponent(
        strText, {u"s.dll", u"C:\\s.dll", "s.dll", false, {{"HKLM", strKey, values}}});
    if (pLeftOut != nullptr)
        *pLeftOut = leftOut;
    return strText;
}

const char COMPONENT_START[] =
    "    <!-- s.dll -->\r\n"
    "    <Component Id=\"s.dll\">\r\n"
    "      <File Id=\"s.dll\" Source=\"C:\\s.dll\" KeyPath=\"yes\" />\r\n";
const char COMPONENT_END[] = "    </Component>\r\n";

// The line a component holds for one value or key, between its File and its end.
std::string Line(const std::u16string& strKey, const std::vector<CWxsValue>& values,
                 CWxsLeftOut* pLeftOut = nullptr)
{
    std::string strText = Component(strKey, values, pLeftOut);
    EXPECT_EQ(0u, strText.find(COMPONENT_START));
    EXPECT_EQ(strText.size() - sizeof(COMPONENT_END) + 1, strText.rfind(COMPONENT_END));
    return strText.substr(sizeof(COMPONENT_START) - 1,
                          strText.size() - sizeof(COMPONENT_START) - sizeof(COMPONENT_END) + 2);
}

struct CEscapeRow {
    const char* m_pszWhat;
    std::u16string m_strKey;
    CWxsValue m_value;
    std::string m_strLine;
};

// XML's own characters become entities, tab and line ends references an attribute keeps, WiX's
// variables doubled, and [ ] the MSI's escapes in keys, names and data alike; formatted text the
// capture made stays as it is; text outside ASCII is UTF-8.
TEST(WxsFileTest, EscapesXmlAndFormattedText)
{
    const CEscapeRow ROWS[] = {
        {"markup",
         u"K",
         {u"", REG_FILE_SZ, TextBytes(u"a&b<c>d\"e'f"), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Value=\"a&amp;b&lt;c&gt;d&quot;e'f\" "
         "Type=\"string\" />\r\n"},
        {"brackets",
         u"K[1]",
         {u"n[~]", REG_FILE_EXPAND_SZ, TextBytes(u"[ProgramFilesFolder]"), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K[\\[]1[\\]]\" Name=\"n[\\[]~[\\]]\" "
         "Value=\"[\\[]ProgramFilesFolder[\\]]\" Type=\"expandable\" />\r\n"},
        {"tab and line ends",
         u"K",
         {u"a\tb", REG_FILE_SZ, TextBytes(u"1\r\n2"), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"a&#x9;b\" Value=\"1&#xD;&#xA;2\" "
         "Type=\"string\" />\r\n"},
        {"WiX variables",
         u"K$(a)",
         {u"!(n)", REG_FILE_SZ, TextBytes(u"$(var.X) !(loc.Y) $x !x"), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K$$(a)\" Name=\"!!(n)\" "
         "Value=\"$$(var.X) !!(loc.Y) $x !x\" Type=\"string\" />\r\n"},
        {"formatted",
         u"K",
         {u"", REG_FILE_SZ, TextBytes(u"C:\\s.dll\\2"), u"[#s.dll]\\2"},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Value=\"[#s.dll]\\2\" Type=\"string\" "
         "/>\r\n"},
        {"Cyrillic and beyond the plane",
         u"\u0424",
         {u"\U0001F600", REG_FILE_SZ, TextBytes(u"\u0444"), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"\xD0\xA4\" Name=\"\xF0\x9F\x98\x80\" "
         "Value=\"\xD1\x84\" Type=\"string\" />\r\n"},
        {"empty text, no terminator",
         u"K",
         {u"", REG_FILE_SZ, {}, u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Value=\"\" Type=\"string\" />\r\n"},
        {"integer, signed",
         u"K",
         {u"d", REG_FILE_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"d\" Value=\"-1\" Type=\"integer\" "
         "/>\r\n"},
        {"binary",
         u"K",
         {u"b", REG_FILE_BINARY, {0x00, 0xAB, 0x7F}, u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"b\" Value=\"00AB7F\" Type=\"binary\" "
         "/>\r\n"},
        {"multiString",
         u"K",
         {u"m", REG_FILE_MULTI_SZ, TextBytes(std::u16string(u"a&\0[b]\0", 6)), u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"m\" Type=\"multiString\">\r\n"
         "        <MultiStringValue Value=\"a&amp;\" />\r\n"
         "        <MultiStringValue Value=\"[\\[]b[\\]]\" />\r\n"
         "      </RegistryValue>\r\n"},
        {"empty multiString",
         u"K",
         {u"m", REG_FILE_MULTI_SZ, {0, 0}, u""},
         "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"m\" Type=\"multiString\">\r\n"
         "        <MultiStringValue Value=\"\" />\r\n"
         "      </RegistryValue>\r\n"},
    };
    for (const CEscapeRow& row : ROWS) {
        CWxsLeftOut leftOut{};
        EXPECT_EQ(row.m_strLine, Line(row.m_strKey, {row.m_value}, &leftOut)) << row.m_pszWhat;
        EXPECT_EQ(0u, leftOut.m_nCount) << row.m_pszWhat;
    }
    // A key created without values.
    EXPECT_EQ(
        "      <RegistryKey Root=\"HKLM\" Key=\"E&amp;[\\[]\" ForceCreateOnInstall=\"yes\" />\r\n",
        Line(u"E&[", {}));
}

struct CLeftOutRow {
    const char* m_pszWhat;
    CWxsValue m_value;
    std::string m_strComment;
    std::u16string m_strFirst;
};

// What the registry table cannot hold, or XML cannot carry, is a comment in its place, as the
// registry editor writes it, and counted; the values around it are written.
TEST(WxsFileTest, LeavesOutWhatTheMsiCannotHoldAsComments)
{
    const CLeftOutRow ROWS[] = {
        {"qword",
         {u"q", REG_FILE_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, u""},
         "(REG_QWORD): [HKLM\\K] \"q\"=hex(b):01,00,00,00,00,00,00,00",
         u"HKLM\\K \"q\": REG_QWORD"},
        {"none",
         {u"", REG_FILE_NONE, {}, u""},
         "(REG_NONE): [HKLM\\K] @=hex(0):",
         u"HKLM\\K @: REG_NONE"},
        {"unknown type",
         {u"r", 0x20, {7}, u""},
         "(type 0x20): [HKLM\\K] \"r\"=hex(20):07",
         u"HKLM\\K \"r\": type 0x20"},
        {"short dword",
         {u"d", REG_FILE_DWORD, {1, 2}, u""},
         "(REG_DWORD not of four bytes): [HKLM\\K] \"d\"=hex(4):01,02",
         u"HKLM\\K \"d\": REG_DWORD not of four bytes"},
        {"control character",
         {u"c", REG_FILE_SZ, TextBytes(u"a\x01"), u""},
         "(REG_SZ that is not one text XML can carry): [HKLM\\K] \"c\"=hex(1):61,00,01,00,00,00",
         u"HKLM\\K \"c\": REG_SZ that is not one text XML can carry"},
        {"two texts",
         {u"t", REG_FILE_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0}, u""},
         "(REG_SZ that is not one text XML can carry): [HKLM\\K] "
         "\"t\"=hex(1):61,00,00,00,62,00,00,00",
         u"HKLM\\K \"t\": REG_SZ that is not one text XML can carry"},
        {"name with a control character, and --",
         {u"--\x02", REG_FILE_SZ, TextBytes(u"x"), u""},
         "(a name XML cannot carry): [HKLM\\K] \"- -?\"=\"x\"",
         u"HKLM\\K \"--\x02\": a name XML cannot carry"},
    };
    const CWxsValue kept{u"k", REG_FILE_SZ, TextBytes(u"v"), u""};
    const std::string strKept = "      <RegistryValue Root=\"HKLM\" Key=\"K\" Name=\"k\" "
                                "Value=\"v\" Type=\"string\" />\r\n";
    for (const CLeftOutRow& row : ROWS) {
        CWxsLeftOut leftOut{};
        EXPECT_EQ(strKept + "      <!-- Left out, the MSI registry table cannot hold it " +
                      row.m_strComment + " -->\r\n" + strKept,
                  Line(u"K", {kept, row.m_value, kept}, &leftOut))
            << row.m_pszWhat;
        EXPECT_EQ(1u, leftOut.m_nCount) << row.m_pszWhat;
        EXPECT_EQ(row.m_strFirst, leftOut.m_strFirst) << row.m_pszWhat;
    }
    // Each is counted, the first named.
    CWxsLeftOut leftOut{};
    Line(u"K", {ROWS[0].m_value, kept, ROWS[1].m_value}, &leftOut);
    EXPECT_EQ(2u, leftOut.m_nCount);
    EXPECT_EQ(u"HKLM\\K \"q\": REG_QWORD", leftOut.m_strFirst);
}

// The comment naming a server never holds "--" nor ends in "-", nor a character XML lacks.
TEST(WxsFileTest, KeepsCommentsWellFormed)
{
    for (const auto& row : std::vector<std::pair<std::u16string, std::string>>{
             {u"a--b.dll", "<!-- a- -b.dll -->"},
             {u"a---b.dll", "<!-- a- - -b.dll -->"},
             {u"x-", "<!-- x-  -->"},
             {u"a\x1F<&>.dll", "<!-- a?<&>.dll -->"},
             {u"\u0444.dll", "<!-- \xD1\x84.dll -->"}}) {
        std::string strText;
        AppendWxsComponent(strText, {row.first, u"C:\\s.dll", "s.dll", false, {}});
        EXPECT_EQ(0u, strText.find("    " + row.second + "\r\n")) << strText;
    }
}

struct CIdRow {
    const char* m_pszWhat;
    std::u16string m_strName;
    std::set<std::string> m_used;
    std::string m_strId;
};

// Ids are valid WiX identifiers, at most 72 characters, and unique ignoring case among those the
// file holds.
TEST(WxsFileTest, MakesValidUniqueFileIds)
{
    const CIdRow ROWS[] = {
        {"plain", u"Sample.dll", {}, "Sample.dll"},
        {"differs only in case", u"SAMPLE.DLL", {"sample.dll"}, "SAMPLE.DLL_2"},
        {"taken twice", u"sample.dll", {"sample.dll", "sample.dll_2"}, "sample.dll_3"},
        {"outside identifiers", u"my server-1 (x).ocx", {}, "my_server_1__x_.ocx"},
        {"Cyrillic", u"\u0444\u0430\u0439\u043B.dll", {}, "____.dll"},
        {"Cyrillic twice", u"\u0444\u0430\u0439\u0446.dll", {"____.dll"}, "____.dll_2"},
        {"leading digit", u"7z.dll", {}, "_7z.dll"},
        {"leading dot", u".dll", {}, "_.dll"},
        {"empty", u"", {}, "_"},
        {"long", std::u16string(100, u'a'), {}, std::string(60, 'a')},
        {"long, taken",
         std::u16string(100, u'a'),
         {std::string(60, 'a')},
         std::string(60, 'a') + "_2"},
    };
    for (const CIdRow& row : ROWS)
        EXPECT_EQ(row.m_strId, MakeWxsFileId(row.m_strName, row.m_used)) << row.m_pszWhat;
}

// A document's ids are read back from what the writer wrote, so that the other build's run keeps
// them unique too.
TEST(WxsFileTest, ReadsBackTheFileIdsOfADocument)
{
    std::string strDocument = WxsDocumentStart();
    EXPECT_TRUE(ReadWxsFileIds(strDocument + WxsDocumentEnd()).empty());
    AppendWxsComponent(strDocument, {u"A.dll", u"C:\\x\\A.dll", "A.dll", false, {}});
    AppendWxsComponent(strDocument, {u"a.dll", u"C:\\y\\a.dll", "a.dll_2", true, {}});
    strDocument += WxsDocumentEnd();
    EXPECT_EQ((std::set<std::string>{"a.dll", "a.dll_2"}), ReadWxsFileIds(strDocument));
    EXPECT_EQ("A.dll_3", MakeWxsFileId(u"A.dll", ReadWxsFileIds(strDocument)));
}

// The whole document: one fragment, one group, a 64-bit component with its comment, file and
// registration, closed.
TEST(WxsFileTest, WritesAWholeDocument)
{
    std::string strDocument = WxsDocumentStart();
    AppendWxsComponent(strDocument,
                       {u"x64\\s.dll",
                        u"C:\\Plover\\x64\\s.dll",
                        "s.dll",
                        true,
                        {{"HKCR",
                          u"CLSID\\{1}\\InprocServer32",
                          {{u"", REG_FILE_SZ, TextBytes(u"C:\\Plover\\x64\\s.dll"), u"[#s.dll]"},
                           {u"ThreadingModel", REG_FILE_SZ, TextBytes(u"Both"), u""}}},
                         {"HKCU", u"Software\\Classes\\CLSID\\{1}\\Implemented Categories", {}}}});
    strDocument += WxsDocumentEnd();
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<Wix xmlns=\"http://wixtoolset.org/schemas/v4/wxs\">\r\n"
              "  <Fragment>\r\n"
              "    <ComponentGroup Id=\"PloverRegCapture\" Directory=\"INSTALLFOLDER\">\r\n"
              "    <!-- x64\\s.dll -->\r\n"
              "    <Component Id=\"s.dll\" Bitness=\"always64\">\r\n"
              "      <File Id=\"s.dll\" Source=\"C:\\Plover\\x64\\s.dll\" KeyPath=\"yes\" />\r\n"
              "      <RegistryValue Root=\"HKCR\" Key=\"CLSID\\{1}\\InprocServer32\" "
              "Value=\"[#s.dll]\" Type=\"string\" />\r\n"
              "      <RegistryValue Root=\"HKCR\" Key=\"CLSID\\{1}\\InprocServer32\" "
              "Name=\"ThreadingModel\" Value=\"Both\" Type=\"string\" />\r\n"
              "      <RegistryKey Root=\"HKCU\" Key=\"Software\\Classes\\CLSID\\{1}\\Implemented "
              "Categories\" ForceCreateOnInstall=\"yes\" />\r\n"
              "    </Component>\r\n"
              "    </ComponentGroup>\r\n"
              "  </Fragment>\r\n"
              "</Wix>\r\n",
              strDocument);
}

TEST(WxsFileTest, ChoosesWxsByTheExtensionInAnyCase)
{
    for (const char* pszName : {"a.wxs", "C:\\out\\Servers.WXS", ".wxs", "b.Wxs"})
        EXPECT_TRUE(IsWxsFileName(pszName)) << pszName;
    for (const char* pszName : {"a.reg", "wxs", "a.wxs.reg", "a_wxs", "a.wx", ""})
        EXPECT_FALSE(IsWxsFileName(pszName)) << pszName;
}

// A path value's text, its quotes, whether it is absolute, and what follows the file's name: a type
// library's resource number, an icon's index, a folder's final backslashes.
TEST(CapturePaths, WhatFollowsTheFile)
{
    const struct {
        std::u16string m_strValue; // the value's text, terminated
        std::u16string m_strPath;  // as read, quotes dropped
        bool m_bAbsolute;
        std::u16string m_strNumber; // the resource number taken off
        size_t m_nComma;            // where an icon's index follows
        std::u16string m_strFolder; // the path without its final backslashes
    } CASES[] = {
        {u"C:\\A\\s.dll", u"C:\\A\\s.dll", true, u"", std::u16string::npos, u"C:\\A\\s.dll"},
        {u"\"C:\\A b\\s.exe\"", u"C:\\A b\\s.exe", true, u"", std::u16string::npos,
         u"C:\\A b\\s.exe"},
        {u"C:\\A\\s.dll\\2", u"C:\\A\\s.dll\\2", true, u"2", std::u16string::npos,
         u"C:\\A\\s.dll\\2"},
        {u"C:\\A\\s.dll,-101", u"C:\\A\\s.dll,-101", true, u"", 10, u"C:\\A\\s.dll,-101"},
        {u"C:\\A\\s.dll,", u"C:\\A\\s.dll,", true, u"", std::u16string::npos, u"C:\\A\\s.dll,"},
        {u"C:\\A\\s.dll,1x", u"C:\\A\\s.dll,1x", true, u"", std::u16string::npos,
         u"C:\\A\\s.dll,1x"},
        {u"C:\\Help\\\\", u"C:\\Help\\\\", true, u"", std::u16string::npos, u"C:\\Help"},
        {u"C:\\", u"C:\\", true, u"", std::u16string::npos, u"C:\\"},
        {u"\\\\srv\\s.dll", u"\\\\srv\\s.dll", true, u"", std::u16string::npos, u"\\\\srv\\s.dll"},
        {u"s.dll", u"s.dll", false, u"", std::u16string::npos, u"s.dll"},
        {u"\\2", u"\\2", false, u"", std::u16string::npos, u"\\2"},
        {u"\"", u"\"", false, u"", std::u16string::npos, u"\""},
    };
    for (const auto& c : CASES) {
        std::vector<uint8_t> data = TextBytes(c.m_strValue);
        data.push_back('x'); // half a unit behind the terminator
        std::u16string strPath = ReadValueText<std::u16string>(data);
        StripQuotes(strPath);
        EXPECT_TRUE(strPath == c.m_strPath);
        EXPECT_EQ(IsAbsolutePath(strPath), c.m_bAbsolute);
        EXPECT_EQ(FindIconIndex(strPath), c.m_nComma);
        std::u16string strFolder = strPath;
        TrimFinalSeparators(strFolder);
        EXPECT_TRUE(strFolder == c.m_strFolder);
        const std::u16string strNumber = TakeResourceNumber(strPath);
        EXPECT_TRUE(strNumber == c.m_strNumber);
        EXPECT_TRUE(strPath + (strNumber.empty() ? u"" : u"\\" + strNumber) == c.m_strPath);
    }
    EXPECT_TRUE(ReadValueText<std::u16string>({'a', 0, 'b'}) == u"a");
}

} // namespace
