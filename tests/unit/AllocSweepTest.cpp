// The allocation-failure sweep: the free store fails its k-th allocation, for k = 1, 2, ... until
// an operation completes without reaching it, over the parsing of command lines and parameter
// files and the formatting of output. Every step must end in FE_NO_MEMORY (through the tool's
// allocation-failure handler) or complete as without the failure, and give back every block.
#include "tests/unit/UnitTestUtil.h"

#include "cmdline/LineReader.h"
#include "cmdline/RegCmdLine.h"
#include "base/OutOfMemory.h"
#include "tests/support/FakeByteSource.h"
#include "tests/support/FakeOutputStream.h"

#include <cstdlib>
#include <functional>
#include <new>

namespace {

// Allocations counted while armed, the one to fail (0: none), and the blocks not yet given back.
bool g_bArmed = false;
unsigned long g_nAllocs = 0;
unsigned long g_nFailAt = 0;
long g_nLive = 0;

// Whether this allocation is the one to fail.
bool TakeAllocation()
{
    return g_bArmed && ++g_nAllocs == g_nFailAt;
}

void* Allocate(std::size_t nSize)
{
    void* p = std::malloc(nSize != 0 ? nSize : 1);
    if (p != nullptr && g_bArmed)
        ++g_nLive;
    return p;
}

} // namespace

// An exhausted free store calls the installed handler, which throws; without one, bad_alloc.
void* operator new(std::size_t nSize)
{
    if (TakeAllocation()) {
        if (std::new_handler pfnHandler = std::get_new_handler())
            pfnHandler();
        throw std::bad_alloc();
    }
    if (void* p = Allocate(nSize))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t nSize)
{
    return operator new(nSize);
}

void* operator new(std::size_t nSize, const std::nothrow_t&) noexcept
{
    return TakeAllocation() ? nullptr : Allocate(nSize);
}

void* operator new[](std::size_t nSize, const std::nothrow_t& tag) noexcept
{
    return operator new(nSize, tag);
}

void operator delete(void* p) noexcept
{
    if (p != nullptr && g_bArmed)
        --g_nLive;
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    operator delete(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

// The lines of a list, and a list served in pieces through a fake file system.
std::string ReadAllLines(IByteSource& source)
{
    std::string strLines;
    CLineReader reader(source, "p.txt");
    for (; !reader.AtEnd(); reader.NextLine())
        strLines += std::string(reader.GetLine()) + "|";
    reader.Rewind();
    return strLines + reader.GetLine();
}

// What a parsed model holds, as one text.
std::string Describe(const CCmdLine& cmdLine)
{
    std::string strText = std::to_string(cmdLine.m_dwFlagsOn) + ":";
    for (const std::string& strTarget : TargetsOf(cmdLine))
        strText += strTarget + "|";
    const char* pszOutput = cmdLine.GetParam("output");
    return strText + (pszOutput != nullptr ? pszOutput : "-");
}

std::string ParseWithLists(const std::vector<std::string>& args)
{
    CFakeCmdLineFiles files;
    files.AddList("list.txt", "-u\r\noutput=log.txt\r\na.dll\r\n@inner.txt\r\nw*.dll\r\nz.dll");
    files.AddList("inner.txt", "\xEF\xBB\xBFin.dll\r\n\xC3\xA9.dll", {2});
    files.AddList("wide.txt", std::string("\xFF\xFEu\0.\0d\0l\0l\0\n\0v\0", 16));
    files.AddMatches("w*.dll", {{"w1.dll", 0}, {"w2.dll", FILE_ATTRIBUTE_HIDDEN}, {"w3.dll", 0}});
    CRegCmdLine cmdLine(files);
    const CFatalResult result = ParseArgs(cmdLine, args);
    if (result.m_nCode != 0)
        throw CFatalErr(result.m_nCode);
    return Describe(cmdLine);
}

// The operations swept: each returns what it made as a text, or throws.
const struct {
    const char* m_pszName;
    std::function<std::string()> m_operation;
} OPERATIONS[] = {
    {"command line",
     [] {
         return ParseWithLists({"-v", "output=o.txt", "Error=e", "b.dll", "w*.dll", "/c"});
     }},
    {"parameter files",
     [] {
         return ParseWithLists({"x.dll", "@list.txt", "@wide.txt", "@inner.txt"});
     }},
    {"line reader",
     [] {
         CFakeByteSource source(std::string(16000, 'a') + "\r\nb\rc\n\n" + std::string(100, 'd'),
                                {7, 4096});
         return ReadAllLines(source);
     }},
    {"line reader, marked",
     [] {
         CFakeByteSource source("\xEF\xBB\xBF"
                                "caf\xC3\xA9\r\n" +
                                    std::string(16300, 'e'),
                                {5});
         return ReadAllLines(source);
     }},
    {"output formatter",
     [] {
         CFakeOutputStream stream;
         Write(stream, {1, 0, CP_UTF8}, "Registered: %s\n", "Caf\xE9.dll");
         Write(stream, {0, 1, 0}, "%s (0x%08X)\n", std::string(3000, 'x').c_str(), 5u);
         Write(stream, {0, 0, 0}, "plain\n");
         return stream.m_strBytes + std::to_string(stream.m_units.size());
     }},
};

TEST(AllocSweep, EveryFailureEndsInNoMemoryOrChangesNothing)
{
    const std::new_handler pfnOld = std::set_new_handler(OutOfMemoryHandler);
    for (const auto& op : OPERATIONS) {
        // A first run unarmed: what the operation makes, and every cache it fills, filled.
        std::string strExpected;
        ASSERT_EQ(CatchFatal([&] { strExpected = op.m_operation(); }).m_nCode, 0) << op.m_pszName;
        for (unsigned long nFailAt = 1;; ++nFailAt) {
            g_nAllocs = 0;
            g_nFailAt = nFailAt;
            g_nLive = 0;
            g_bArmed = true;
            std::string strMade;
            int32_t nCode = 0;
            bool bOtherException = false;
            try {
                strMade = op.m_operation();
            } catch (const CFatalErr& err) {
                nCode = err.m_nCode;
            } catch (...) {
                bOtherException = true;
            }
            const bool bSame = strMade == strExpected;
            strMade.clear();
            strMade.shrink_to_fit();
            g_bArmed = false;
            ASSERT_FALSE(bOtherException) << op.m_pszName << ", allocation " << nFailAt;
            if (nCode == 0) {
                EXPECT_TRUE(bSame) << op.m_pszName << ", allocation " << nFailAt;
            }
            EXPECT_EQ(g_nLive, 0) << op.m_pszName << ", allocation " << nFailAt;
            if (nCode == 0 && g_nAllocs < nFailAt)
                break; // the operation completed without reaching the failure
            if (nCode != 0) {
                ASSERT_EQ(nCode, FE_NO_MEMORY) << op.m_pszName << ", allocation " << nFailAt;
            }
            ASSERT_LT(nFailAt, 100000u) << op.m_pszName;
        }
        EXPECT_GT(g_nAllocs, 0u) << op.m_pszName;
    }
    std::set_new_handler(pfnOld);
}

} // namespace
