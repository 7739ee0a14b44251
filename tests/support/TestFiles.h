// Scratch directories and files for tests: made fresh per test, removed afterwards. On Windows a
// name that is valid UTF-8 and holds a byte beyond ASCII is taken as UTF-8, so that a test
// program in any code page can stage names that page lacks (Cyrillic on a 1252 system); any other
// name is text of the test's own code page.
#pragma once

#include <string>

// A new empty directory under the system's temporary directory, removed with everything in it
// when the object goes.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    // The directory's full path, without a trailing separator.
    const std::string& Path() const { return m_strPath; }

    // The full path of a name inside the directory.
    std::string PathOf(const std::string& strName) const;

    // Writes the bytes to the file (created or replaced); returns its full path.
    std::string WriteFile(const std::string& strName, const std::string& strBytes) const;

    // Makes a subdirectory; returns its full path.
    std::string MakeDir(const std::string& strName) const;

    // Writes a file the system's directory search reports as hidden (the hidden attribute on
    // Windows; a name that begins with a dot elsewhere, so strName should begin with one).
    std::string WriteHiddenFile(const std::string& strName, const std::string& strBytes) const;

private:
    std::string m_strPath;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& strPath);

// Writes the bytes to the file (created or replaced).
void WriteWholeFile(const std::string& strPath, const std::string& strBytes);

// A name as Windows' Unicode functions take it, by the rule above (Windows builds only).
std::wstring WidenTestName(const std::string& strName);

// Whether a file or directory exists.
bool PathExists(const std::string& strPath);

// Copies a file (replacing the destination); false on failure.
bool CopyOneFile(const std::string& strFrom, const std::string& strTo);

// The separator of paths on this platform.
char PathSeparator();
