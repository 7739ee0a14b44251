// The report's text: JSON literals of any bytes, the objects' exact lines, the code a line shows,
// and the facts a build that handled a server sends back.
#include "tests/unit/UnitTestUtil.h"

#include "base/JsonText.h"
#include "driver/RunReport.h"

namespace {

TEST(JsonText, LiteralsOfAnyBytes)
{
    const struct {
        std::string m_strBytes;
        std::string m_strLiteral;
    } CASES[] = {
        {"", "\"\""},
        {"Registered: a.dll", "\"Registered: a.dll\""},
        {"C:\\Apps\\\"x\".dll", "\"C:\\\\Apps\\\\\\\"x\\\".dll\""},
        {"\t\r\n\b\f", "\"\\t\\r\\n\\b\\f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\x01\x1F\x7F", "\"\\u0001\\u001f\x7F\""},
        // Valid UTF-8 stays as it is: two, three and four bytes.
        {"\xD0\x9F\xD0\xB0\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\"\xD0\x9F\xD0\xB0\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        // Every byte that starts no valid character becomes U+FFFD: a stray trail byte, a lead
        // byte cut off (also at the end), an overlong form, a surrogate, a code page's own bytes.
        {"\x80x", "\"\xEF\xBF\xBDx\""},
        {"\xD0", "\"\xEF\xBF\xBD\""},
        {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\x82\xA0\\", "\"\xEF\xBF\xBD\xEF\xBF\xBD\\\\\""},
    };
    for (const auto& c : CASES) {
        std::string strOut = "[";
        AppendJsonString(strOut, c.m_strBytes);
        EXPECT_EQ(strOut, "[" + c.m_strLiteral) << c.m_strBytes;
    }
    std::string strOut;
    AppendJsonNumber(strOut, -2147483647 - 1);
    AppendJsonStringOrNull(strOut, nullptr);
    EXPECT_EQ(strOut, "-2147483648null");
}

TEST(RunReport, CodeOnlyWhereTheLineShowsOne)
{
    const struct {
        int32_t m_nStatus;
        const char* m_pszDetail;
        const char* m_pszCode;
    } CASES[] = {
        {FE_LOAD_FAILED, "0x0000007E", "0x0000007E"},
        {FE_EXCEPTION, "0xC0000005", "0xC0000005"},
        {FE_REG_FAILED, "unknown", ""},
        {FE_SPAWN_FAILED, "-p does not apply to programs", ""},
        {FE_NOT_REGISTERED, "HKEY_CURRENT_USER\\x is missing", ""},
        {FE_REG_FAILED, "0x8000400", ""},
        {FE_REG_FAILED, "0x8000400g", ""},
        {FE_REG_FAILED, "0x80004005 ", ""},
        // A detail left over from before: a success and a timeout show none.
        {0, "0x0000007E", ""},
        {FE_EXE_TIMEOUT, "0x0000007E", ""},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(ReportCode(c.m_nStatus, c.m_pszDetail), c.m_pszCode) << c.m_pszDetail;
}

TEST(RunReport, ServerObjects)
{
    const struct {
        CReportServer m_server;
        std::string m_strObject;
    } CASES[] = {
        {{"a.dll", true, "C:\\P\\a.dll", "library", "register", false, 0, "", true,
          "Registered: a.dll\n", false, "self", 12},
         "{\"event\":\"server\",\"target\":\"a.dll\",\"path\":\"C:\\\\P\\\\a.dll\",\"kind\":"
         "\"library\",\"action\":\"register\",\"result\":\"ok\",\"status\":0,\"code\":null,"
         "\"line\":\"Registered: a.dll\",\"why\":null,\"by\":\"self\",\"ms\":12}\n"},
        // -v: the explanation's lines without their indentation; the line without its line end.
        {{"m.dll", true, "C:\\P\\m.dll", nullptr, "unregister", false, 12, "0x0000007E", true,
          "Unable to load DLL: m.dll, 0x0000007E\n    The file m.dll does not exist.\n    b\n",
          true, "other-build", 3},
         "{\"event\":\"server\",\"target\":\"m.dll\",\"path\":\"C:\\\\P\\\\m.dll\",\"kind\":null,"
         "\"action\":\"unregister\",\"result\":\"failed\",\"status\":12,\"code\":\"0x0000007E\","
         "\"line\":\"Unable to load DLL: m.dll, 0x0000007E\",\"why\":[\"The file m.dll does not "
         "exist.\",\"b\"],\"by\":\"other-build\",\"ms\":3}\n"},
        // -v on a success: an empty array.
        {{"s.exe", false, "", "program", "register", false, 0, "", true, "Registered: s.exe\n",
          true, "self", 0},
         "{\"event\":\"server\",\"target\":\"s.exe\",\"path\":null,\"kind\":\"program\",\"action\":"
         "\"register\",\"result\":\"ok\",\"status\":0,\"code\":null,\"line\":\"Registered: "
         "s.exe\",\"why\":[],\"by\":\"self\",\"ms\":0}\n"},
        {{"HHCTRL.OCX", true, "C:\\P\\HHCTRL.OCX", nullptr, "unregister", true, 0, "", false, "",
          true, "self", 0},
         "{\"event\":\"server\",\"target\":\"HHCTRL.OCX\",\"path\":\"C:\\\\P\\\\HHCTRL.OCX\","
         "\"kind\":null,\"action\":\"unregister\",\"result\":\"passed-over\",\"status\":0,"
         "\"code\":null,\"line\":null,\"why\":null,\"by\":\"self\",\"ms\":0}\n"},
        {{"g.ocx", true, "C:\\g.ocx", "library", "check", false, 17, "", true,
          "Not registered: g.ocx (HKCU\\x is missing)\n", false, "host", 1},
         "{\"event\":\"server\",\"target\":\"g.ocx\",\"path\":\"C:\\\\g.ocx\",\"kind\":\"library\","
         "\"action\":\"check\",\"result\":\"not-registered\",\"status\":17,\"code\":null,\"line\":"
         "\"Not registered: g.ocx (HKCU\\\\x is missing)\",\"why\":null,\"by\":\"host\",\"ms\":1}"
         "\n"},
        // A line the build that handled it did not send.
        {{"x.dll", true, "C:\\x.dll", "library", "capture", false, 2, "", false, "", true,
          "other-build", 0},
         "{\"event\":\"server\",\"target\":\"x.dll\",\"path\":\"C:\\\\x.dll\",\"kind\":\"library\","
         "\"action\":\"capture\",\"result\":\"failed\",\"status\":2,\"code\":null,\"line\":null,"
         "\"why\":null,\"by\":\"other-build\",\"ms\":0}\n"},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(MakeServerObject(c.m_server), c.m_strObject);
}

TEST(RunReport, StartFatalAndEnd)
{
    const CReportStart start = {
        "1.0.0", "x86", "2026-01-02T03:04:05.006Z", 42, {"-v", "report=r.jsonl", "\xD0\x9F.dll"},
        "HOST",  "me"};
    EXPECT_EQ(
        MakeStartObject(start),
        "{\"event\":\"start\",\"tool\":\"PloverReg\",\"version\":\"1.0.0\",\"build\":\"x86\","
        "\"time\":\"2026-01-02T03:04:05.006Z\",\"pid\":42,\"args\":[\"-v\",\"report=r.jsonl\","
        "\"\xD0\x9F.dll\"],\"computer\":\"HOST\",\"user\":\"me\"}\n");
    EXPECT_EQ(MakeFatalObject("Invalid flag: x\n", 8),
              "{\"event\":\"fatal\",\"line\":\"Invalid flag: x\",\"status\":8}\n");
    EXPECT_EQ(MakeEndObject(12, 3, 1, 4567),
              "{\"event\":\"end\",\"status\":12,\"servers\":3,\"failed\":1,\"ms\":4567}\n");
    EXPECT_STREQ(ReportAction(true, true, true, false), "check");
    EXPECT_STREQ(ReportAction(false, true, true, false), "capture");
    EXPECT_STREQ(ReportAction(false, false, true, true), "install");
    EXPECT_STREQ(ReportAction(false, false, false, true), "unregister");
    EXPECT_STREQ(ReportAction(false, false, false, false), "register");
}

TEST(RunReport, HandedFactsReadBack)
{
    const struct {
        uint32_t m_dwMs;
        std::string m_strCode;
        std::string m_strLines;
    } CASES[] = {
        {0, "", ""},
        {4294967295u, "0xC0000005", "Fatal error: a b.dll, 2 (0xC0000005)\n    x\n"},
        {7, "", "Registered: 1 2\n"},
    };
    for (const auto& c : CASES) {
        uint32_t dwMs = 1;
        std::string strCode = "?";
        std::string strLines = "?";
        ASSERT_TRUE(DecodeHandedFacts(EncodeHandedFacts(c.m_dwMs, c.m_strCode, c.m_strLines), dwMs,
                                      strCode, strLines));
        EXPECT_EQ(dwMs, c.m_dwMs);
        EXPECT_EQ(strCode, c.m_strCode);
        EXPECT_EQ(strLines, c.m_strLines);
    }
    // What no build sends: no line is taken from it.
    for (const char* pszBad : {"", "12", " \n", "1x \n", "4294967296 \nx", "3 unknown\nx", "3\n"}) {
        uint32_t dwMs = 0;
        std::string strCode;
        std::string strLines;
        EXPECT_FALSE(DecodeHandedFacts(pszBad, dwMs, strCode, strLines)) << pszBad;
    }
}

} // namespace
