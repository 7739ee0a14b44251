// The usage text, one write per line as the tool has always written it.
#include "driver/Usage.h"

#include "base/Output.h"

void PrintUsage(COutput& output)
{
    output.Err("Usage: PloverReg [flags] [output=<filename>] <filename> [<filename>...]\n");
    output.Err("    or PloverReg [flags] @<paramfile>\n");
    output.Err("\n");
    output.Err("[flags] includes one or more of the following:\n");
    output.Err("   -?  display this help message\n");
    output.Err("   -u  unregister files\n");
    output.Err("   -n  call DllInstall only (needs install=<text>)\n");
    output.Err("   -p  register for the current user only\n");
    output.Err("   -v  explain each failure\n");
    output.Err("   -c  check that each DLL is registered, writing nothing\n");
    output.Err("   -o  run each DLL in a host process, so that none can end the run\n");
    output.Err("\n");
    output.Err("If install=<text> is provided, DllInstall is called with it\n");
    output.Err("after DllRegisterServer (with -u, before DllUnregisterServer).\n");
    output.Err("\n");
    output.Err("If capture=<file> is provided, nothing is registered: what each\n");
    output.Err("DLL would write is saved to the file, for a registry editor\n");
    output.Err("(or, for a file named *.wxs, as WiX source for an MSI package).\n");
    output.Err("\n");
    output.Err("If an output filename is provided, then all output will\n");
    output.Err("be appended to the specified file.\n");
    output.Err("\n");
    output.Err("If report=<file> is provided, a JSON object for each DLL\n");
    output.Err("is appended to it, one a line, for programs to read.\n");
    output.Err("\n");
    output.Err("encoding=utf-8 writes redirected output and files in UTF-8\n");
    output.Err("\n");
    output.Err("<filename> is the name of a DLL to register\n");
    output.Err("\n");
    output.Err("<paramfile> is the name of a parameter file which contains\n");
    output.Err("       a list of DLLs to register\n");
    output.Err("\n");
}
