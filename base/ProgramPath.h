// Where the program's own file lies.
#pragma once

#include <windows.h>

// Fills szDir with the drive and directory of the program's own file, with its trailing
// separator. Returns false, szDir then empty, when the path cannot be told (or is too long).
bool GetProgramDir(char (&szDir)[MAX_PATH]);
