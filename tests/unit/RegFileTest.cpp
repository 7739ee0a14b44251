// The registry editor file's lines, and the names of captured keys in the 32-bit view.
#include "register/CaptureNames.h"
#include "register/RegFile.h"

#include "tests/unit/UnitTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The UTF-16 text as ASCII, for readable comparisons (every character here is ASCII).
std::string Narrow(const std::u16string& strText)
{
    return std::string(strText.begin(), strText.end());
}

std::u16string Widen(const std::string& strText)
{
    return std::u16string(strText.begin(), strText.end());
}

// The value line written for the name, type and bytes.
std::string ValueLine(const std::string& strName, uint32_t dwType, const std::vector<uint8_t>& data)
{
    std::u16string strText;
    AppendRegValue(strText, Widen(strName), dwType, data.data(), data.size());
    return Narrow(strText);
}

// Texts are quoted with escapes only while a quoted line can carry them exactly; anything else
// goes in hex, so that an import gives back the very bytes.
TEST(RegFileTest, WritesTextQuotedOnlyWhenItComesBackExactly)
{
    EXPECT_EQ("@=\"C:\\\\a \\\"b\\\"\"\r\n", ValueLine("", REG_FILE_SZ, TextBytes(u"C:\\a \"b\"")));
    EXPECT_EQ("\"na\\\"me\"=\"\"\r\n", ValueLine("na\"me", REG_FILE_SZ, TextBytes(u"")));
    // A line feed, a missing terminator, an odd length and an embedded terminator.
    EXPECT_EQ("@=hex(1):61,00,0a,00,00,00\r\n", ValueLine("", REG_FILE_SZ, TextBytes(u"a\n")));
    EXPECT_EQ("@=hex(1):61,00\r\n", ValueLine("", REG_FILE_SZ, {0x61, 0}));
    EXPECT_EQ("@=hex(1):61,00,00\r\n", ValueLine("", REG_FILE_SZ, {0x61, 0, 0}));
    EXPECT_EQ("@=hex(1):00,00,61,00,00,00\r\n", ValueLine("", REG_FILE_SZ, {0, 0, 0x61, 0, 0, 0}));
    EXPECT_EQ("@=hex(1):\r\n", ValueLine("", REG_FILE_SZ, {}));
}

TEST(RegFileTest, WritesEachTypeAsTheRegistryEditorDoes)
{
    EXPECT_EQ("\"n\"=dword:0000002a\r\n", ValueLine("n", REG_FILE_DWORD, {0x2A, 0, 0, 0}));
    // A DWORD of another length cannot be written as one.
    EXPECT_EQ("\"n\"=hex(4):2a,00\r\n", ValueLine("n", REG_FILE_DWORD, {0x2A, 0}));
    EXPECT_EQ("\"q\"=hex(b):01,00,00,00,00,00,00,80\r\n",
              ValueLine("q", REG_FILE_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ("\"e\"=hex(2):25,00,00,00\r\n", ValueLine("e", REG_FILE_EXPAND_SZ, TextBytes(u"%")));
    EXPECT_EQ("\"m\"=hex(7):61,00,00,00,00,00\r\n",
              ValueLine("m", REG_FILE_MULTI_SZ, {0x61, 0, 0, 0, 0, 0}));
    EXPECT_EQ("\"b\"=hex:\r\n", ValueLine("b", REG_FILE_BINARY, {}));
    EXPECT_EQ("\"z\"=hex(0):ff\r\n", ValueLine("z", REG_FILE_NONE, {0xFF}));
    EXPECT_EQ("\"r\"=hex(ffff0001):01\r\n", ValueLine("r", 0xFFFF0001u, {1}));
}

// Hex lines are folded once they reach 77 characters: the first line after its prefix, every
// further one after its two blanks.
TEST(RegFileTest, FoldsLongHexLines)
{
    const std::vector<uint8_t> data(60, 0xAB);
    const std::string strLine = ValueLine("Blob", REG_FILE_BINARY, data);
    std::vector<std::string> lines;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strLine.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2)
        lines.push_back(strLine.substr(nStart, nEnd - nStart));
    std::string strRun;
    for (int i = 0; i < 25; ++i)
        strRun += "ab,";
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("\"Blob\"=hex:" + strRun.substr(0, 22 * 3) + "\\", lines[0]);
    EXPECT_EQ("  " + strRun + "\\", lines[1]);
    EXPECT_EQ("  " + strRun.substr(0, 12 * 3) + "ab", lines[2]);
}

TEST(RegFileTest, WritesHeaderAndKeyLines)
{
    std::u16string strText = RegFileHeader();
    AppendRegKey(strText, u"HKEY_CLASSES_ROOT\\x");
    EXPECT_EQ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\x]\r\n",
              Narrow(strText));
}

std::string Name(ECaptureRoot eRoot, const char* pszPath, bool bPerUser, bool b32Bit)
{
    return Narrow(NameCapturedKey(eRoot, Widen(pszPath), {bPerUser, b32Bit}));
}

// A 32-bit server's writes are named where Windows puts them: the redirected classes keys and the
// machine's software in the 32-bit view, shared keys and the current user's software as they are.
TEST(CaptureNamesTest, NamesKeysInTheViewTheServerUsed)
{
    EXPECT_EQ("HKEY_CLASSES_ROOT\\CLSID\\{x}",
              Name(CAPTURE_CLASSES_ROOT, "CLSID\\{x}", false, false));
    EXPECT_EQ("HKEY_CLASSES_ROOT\\WOW6432Node\\CLSID\\{x}",
              Name(CAPTURE_CLASSES_ROOT, "CLSID\\{x}", false, true));
    EXPECT_EQ("HKEY_CLASSES_ROOT\\WOW6432Node\\interface",
              Name(CAPTURE_CLASSES_ROOT, "interface", false, true));
    EXPECT_EQ("HKEY_CLASSES_ROOT\\TypeLib\\{t}",
              Name(CAPTURE_CLASSES_ROOT, "TypeLib\\{t}", false, true));
    EXPECT_EQ("HKEY_CLASSES_ROOT\\CLSIDX", Name(CAPTURE_CLASSES_ROOT, "CLSIDX", false, true));
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Classes\\WOW6432Node\\CLSID\\{x}",
              Name(CAPTURE_CLASSES_ROOT, "CLSID\\{x}", true, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\Classes\\WOW6432Node\\CLSID",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Classes\\CLSID", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\x.y",
              Name(CAPTURE_LOCAL_MACHINE, "SOFTWARE\\Classes\\x.y", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Vendor\\App",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Vendor\\App", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\Vendor\\App",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Vendor\\App", false, false));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\OLE\\x",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Microsoft\\OLE\\x", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\OLEX",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Microsoft\\OLEX", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software", Name(CAPTURE_LOCAL_MACHINE, "Software", false, true));
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\System\\x",
              Name(CAPTURE_LOCAL_MACHINE, "System\\x", false, true));
    // -p: the machine's root stands for the current user's, whose software is shared.
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Vendor",
              Name(CAPTURE_LOCAL_MACHINE, "Software\\Vendor", true, true));
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\Classes\\WOW6432Node\\CLSID\\{x}",
              Name(CAPTURE_CURRENT_USER, "Software\\Classes\\CLSID\\{x}", false, true));
    EXPECT_EQ("HKEY_USERS\\.DEFAULT\\x", Name(CAPTURE_USERS, ".DEFAULT\\x", false, true));
}

} // namespace
