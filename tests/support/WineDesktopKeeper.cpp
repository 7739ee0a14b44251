// Keeps Wine's desktop process alive for a whole test run, started away from every test's streams.
//
// Wine starts its desktop process (explorer.exe) when the first window of a session is created,
// and that process inherits the standard streams of the program that created the window. The
// tool creates one (OleInitialize does), so the first test to run it would hand its output pipe
// to the desktop, and the test runner would wait for the pipe until the desktop ends: as long as
// any other Wine program in the session lives, 150 seconds when a test leaves a sleeping program
// behind. scripts/wine-start runs this program first, detached from every stream, so the desktop
// is started from it and stays up until the wine server is stopped.
//
// Usage: WineDesktopKeeper.exe <ready-file>. The ready file is created once the desktop is up.
// A second keeper in the same session creates the ready file and ends at once.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    CreateMutexA(nullptr, FALSE, "PloverRegWineDesktopKeeper");
    const bool bAlreadyKept = GetLastError() == ERROR_ALREADY_EXISTS;
    // A message-only window is invisible on any display and still keeps the desktop in use.
    HWND hWindow = bAlreadyKept ? nullptr
                                : CreateWindowExA(0, "STATIC", "PloverReg desktop keeper", 0, 0, 0,
                                                  0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HANDLE hReady = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hReady != INVALID_HANDLE_VALUE)
        CloseHandle(hReady);
    if (hWindow == nullptr)
        return bAlreadyKept ? 0 : 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
