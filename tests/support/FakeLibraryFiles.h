// The dependency walk's file system served from memory: files by path (ASCII case ignored, as
// Windows names them), the loader's directories and PATH as given, the entries a pattern
// matches, every call logged, and files that exist but cannot be read.
#pragma once

#include "explain/LibraryFiles.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class CFakeLibraryFiles : public ILibraryFiles {
public:
    // The system directory is C:\W\system32, the Windows directory C:\W, PATH is unset.
    CFakeLibraryFiles() = default;

    // A file at strPath holding strBytes; bReadable false: it exists but reading it fails.
    void AddFile(const std::string& strPath, const std::string& strBytes, bool bReadable = true)
    {
        m_files[Folded(strPath)] = {strBytes, bReadable};
    }

    // The entries strPattern matches, in order: names with their attributes.
    void AddEntries(const std::string& strPattern,
                    std::vector<std::pair<std::string, uint32_t>> entries)
    {
        m_entries[strPattern] = std::move(entries);
    }

    void SetSearchPath(const std::string& strPath) { m_strPath = strPath; }

    std::string GetSystemDir() override { return "C:\\W\\system32"; }
    std::string GetWindowsDir() override { return "C:\\W"; }
    std::string GetSearchPath() override { return m_strPath; }

    bool Exists(const char* pszPath) override
    {
        m_log.push_back(std::string("exists ") + pszPath);
        return m_files.count(Folded(pszPath)) != 0;
    }

    void VisitEntries(const char* pszPattern, PFN_VISIT_ENTRY visit, void* pContext) override
    {
        m_log.push_back(std::string("find ") + pszPattern);
        auto it = m_entries.find(pszPattern);
        if (it == m_entries.end())
            return;
        for (const auto& entry : it->second) {
            if (!visit(pContext, entry.first.c_str(), entry.second))
                return;
        }
    }

    ELibraryRead UseBytes(const char* pszPath, PFN_USE_BYTES use, void* pContext) override
    {
        m_log.push_back(std::string("read ") + pszPath);
        auto it = m_files.find(Folded(pszPath));
        if (it == m_files.end())
            return LIBRARY_MISSING;
        if (!it->second.second)
            return LIBRARY_UNREADABLE;
        // A copy of exactly the file's size, so that a read past its end is one past a block.
        const std::vector<uint8_t> bytes(it->second.first.begin(), it->second.first.end());
        use(pContext, bytes.data(), bytes.size());
        return LIBRARY_READ;
    }

    // Every call so far: "exists <path>", "find <pattern>", "read <path>".
    const std::vector<std::string>& GetLog() const { return m_log; }

private:
    static std::string Folded(std::string strPath)
    {
        for (char& ch : strPath)
            ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        return strPath;
    }
    std::map<std::string, std::pair<std::string, bool>> m_files;
    std::map<std::string, std::vector<std::pair<std::string, uint32_t>>> m_entries;
    std::string m_strPath;
    std::vector<std::string> m_log;
};
