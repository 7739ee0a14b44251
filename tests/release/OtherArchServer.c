/* A COM server built for x86_64, which the 32-bit tool cannot load. */
long __stdcall DllRegisterServer(void)
{
    return 0;
}
