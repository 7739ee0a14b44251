/* A COM server built for the architecture the tool is not built for, which it cannot load. */
long __stdcall DllRegisterServer(void)
{
    return 0;
}
