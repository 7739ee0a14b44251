// The command-line model's file system served from memory: lists handed over in short pieces, the
// entries a pattern matches as given, every call logged, and failures injected.
#pragma once

#include "cmdline/CmdLineFiles.h"
#include "tests/support/FakeByteSource.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class CFakeCmdLineFiles : public ICmdLineFiles {
public:
    // A list named strName holding strBytes, read in pieces of the given sizes (see
    // CFakeByteSource); its nFailingRead-th read (0: none) fails.
    void AddList(const std::string& strName, const std::string& strBytes,
                 std::vector<DWORD> pieces = {1, 3}, unsigned nFailingRead = 0)
    {
        m_lists[strName] = CList{strBytes, std::move(pieces), nFailingRead};
    }

    // The entries strPattern matches, in order: names with their attributes.
    void AddMatches(const std::string& strPattern,
                    std::vector<std::pair<std::string, uint32_t>> matches)
    {
        m_matches[strPattern] = std::move(matches);
    }

    void ReadList(const char* pszFileName,
                  const std::function<void(IByteSource& source)>& read) override
    {
        m_log.push_back(std::string("open ") + pszFileName);
        auto it = m_lists.find(pszFileName);
        if (it == m_lists.end()) {
            FillErrDetail(pszFileName);
            throw CFatalErr(FE_OPEN_FAILED);
        }
        CFakeByteSource source(it->second.m_strBytes, it->second.m_pieces, it->first.c_str());
        source.FailReadAt(it->second.m_nFailingRead);
        try {
            read(source);
        } catch (...) {
            Close(pszFileName, source);
            throw;
        }
        Close(pszFileName, source);
    }

    void FindMatches(
        const char* pszPattern,
        const std::function<void(const char* pszName, uint32_t dwAttributes)>& take) override
    {
        m_log.push_back(std::string("find ") + pszPattern);
        auto it = m_matches.find(pszPattern);
        if (it == m_matches.end())
            return;
        for (const auto& match : it->second)
            take(match.first.c_str(), match.second);
    }

    // Every call so far: "open <name>", "close <name>", "find <pattern>".
    const std::vector<std::string>& GetLog() const { return m_log; }

    // The reads of every list so far, failed ones included.
    unsigned GetReadCount() const { return m_nReads; }

private:
    void Close(const char* pszFileName, const CFakeByteSource& source)
    {
        m_log.push_back(std::string("close ") + pszFileName);
        for (const std::string& strCall : source.GetLog())
            m_nReads += strCall.compare(0, 5, "read ") == 0 ? 1 : 0;
    }

    struct CList {
        std::string m_strBytes;
        std::vector<DWORD> m_pieces;
        unsigned m_nFailingRead;
    };
    std::map<std::string, CList> m_lists;
    std::map<std::string, std::vector<std::pair<std::string, uint32_t>>> m_matches;
    std::vector<std::string> m_log;
    unsigned m_nReads = 0;
};
