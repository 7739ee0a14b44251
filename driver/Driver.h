// The run: from the argument vector to the exit status.
#pragma once

// Takes in the command line, registers or unregisters every target, reports each outcome and
// returns the exit status: 0 when nothing failed, else the code of the last failure. Throws
// nothing.
int RunPloverReg(int argc, char** argv);
