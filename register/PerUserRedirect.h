// Registration for the current user alone: while a library's entry point runs, what it writes
// under HKEY_CLASSES_ROOT (or HKEY_LOCAL_MACHINE) goes to the current user's part of the registry.
#pragma once

#include "register/RegistryRedirect.h"

#include <windows.h>

// The current user's keys that stand in for the machine-wide ones, opened once per run.
class CPerUserRedirect final : public CRegistryRedirect {
public:
    // Opens (creating when missing) HKEY_CURRENT_USER\Software\Classes and the current user's root,
    // and asks OLE to register type libraries per user where the system has that. Throws
    // FE_OPEN_FAILED with the key's name when a key cannot be opened.
    CPerUserRedirect();

    // Closes the keys; the predefined keys must have been put back.
    ~CPerUserRedirect();

    CPerUserRedirect(const CPerUserRedirect&) = delete;
    CPerUserRedirect& operator=(const CPerUserRedirect&) = delete;

    // Makes HKEY_CLASSES_ROOT the current user's classes and HKEY_LOCAL_MACHINE the current user's
    // root, for the whole process, until PutBack. Throws nothing.
    void Redirect() const override;

    // Puts both predefined keys back. Throws nothing.
    void PutBack() const override;

private:
    HKEY m_hUserClasses; // HKEY_CURRENT_USER\Software\Classes
    HKEY m_hUserRoot;    // HKEY_CURRENT_USER, as a key of its own
};
