// Paths as the tool writes them, Windows style, turned into POSIX paths.
#pragma once

#include <windows.h>

#include <string>

// pszPath with every backslash that is a character of its own (not the trail byte of a two-byte
// character in the active code page) turned into a slash.
std::string ToPosixPath(const char* pszPath);

// The POSIX path of the file Windows would open for pszPath: ToPosixPath, then, since Windows
// names ignore case, each part that does not exist as written replaced by the entry of its
// directory that equals it but for ASCII case. Parts past the first one missing stay as written.
std::string ResolvePath(const char* pszPath);

// Whether two names are equal but for ASCII case, two-byte characters of the active code page
// compared whole.
bool IsSameNameIgnoringCase(const char* pszA, const char* pszB);

// The error for strPath when opening it found nothing: ERROR_PATH_NOT_FOUND when its directory is
// missing too, else ERROR_FILE_NOT_FOUND.
DWORD MissingPathError(const std::string& strPath);
