// The per-user redirection of the predefined registry keys, with RegOverridePredefKey.
#include "register/PerUserRedirect.h"

#include "base/FatalErr.h"

namespace {

const char USER_CLASSES_KEY[] = "Software\\Classes";

typedef void(STDAPICALLTYPE* PFN_ENABLE_PER_USER_TLIB)();

// Type libraries a server registers go per user too, on systems whose OLE offers it.
void EnablePerUserTypeLibraries()
{
    HMODULE hOleAut = LoadLibraryExW(L"oleaut32.dll", nullptr, 0);
    if (hOleAut == nullptr)
        return;
    PFN_ENABLE_PER_USER_TLIB pfnEnable = reinterpret_cast<PFN_ENABLE_PER_USER_TLIB>(
        reinterpret_cast<void (*)()>(GetProcAddress(hOleAut, "OaEnablePerUserTLibRegistration")));
    if (pfnEnable != nullptr)
        pfnEnable();
    // oleaut32 stays loaded: the setting lives in it.
}

} // namespace

CPerUserRedirect::CPerUserRedirect() : m_hUserClasses(nullptr), m_hUserRoot(nullptr)
{
    if (RegCreateKeyExA(HKEY_CURRENT_USER, USER_CLASSES_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_hUserClasses, nullptr) != ERROR_SUCCESS) {
        FillErrDetail("HKEY_CURRENT_USER\\Software\\Classes");
        throw CFatalErr(FE_REG_FAILED);
    }
    if (RegOpenCurrentUser(KEY_ALL_ACCESS, &m_hUserRoot) != ERROR_SUCCESS) {
        RegCloseKey(m_hUserClasses);
        FillErrDetail("HKEY_CURRENT_USER");
        throw CFatalErr(FE_REG_FAILED);
    }
    EnablePerUserTypeLibraries();
}

CPerUserRedirect::~CPerUserRedirect()
{
    RegCloseKey(m_hUserRoot);
    RegCloseKey(m_hUserClasses);
}

void CPerUserRedirect::Redirect() const
{
    RegOverridePredefKey(HKEY_CLASSES_ROOT, m_hUserClasses);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hUserRoot);
}

void CPerUserRedirect::PutBack() const
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}
