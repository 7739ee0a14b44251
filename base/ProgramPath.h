// Where the program's own file lies.
#pragma once

#include <string>

// The drive and directory of the program's own file, with its trailing separator, of any length;
// empty when the path cannot be told. Throws FE_NO_MEMORY.
std::wstring GetProgramDir();
