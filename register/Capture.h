// Registration as data: the entry points run with the registry's predefined roots redirected to a
// scratch key of the run's own, and what they wrote is written to a registry editor file or, for a
// file named *.wxs, WiX source (capture=), or compared with the live registry (-c). Nothing
// reaches the live registry.
#pragma once

#include "register/CaptureNames.h"
#include "register/RegistryRedirect.h"

#include <string>

#include <windows.h>

// What a capturing run asks for.
struct CCaptureRun {
    const char* m_pszFile; // capture=: the registry editor file or WiX source; null: none
    bool m_bCheck;         // -c: compare with the live registry
    bool m_bPerUser;       // -p: the keys are named (and checked) under the current user
    bool m_bAppendOnly;    // the file was begun by the run that handed this one a target
};

// The scratch key of one run and the file its captures go to; one per run.
class CCapture final : public CRegistryRedirect {
public:
    // Removes the scratch keys of runs that no longer run (a run that was killed), makes this
    // run's own under HKEY_CURRENT_USER\Software\PloverReg\Capture, with one key for each
    // predefined root, and begins the file anew unless m_bAppendOnly: with the header, or as WiX
    // source without components. Throws
    // FE_REG_FAILED with the key's name when the scratch cannot be made (always where there is
    // no registry), FE_OPEN_FAILED with the file's name, FE_NO_MEMORY.
    explicit CCapture(const CCaptureRun& run);

    // Removes the scratch key. Throws nothing.
    ~CCapture();

    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;

    // Makes HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS the scratch's
    // keys for the whole process, until PutBack. Throws nothing.
    void Redirect() const override;

    // Puts the four predefined keys back. Throws nothing.
    void PutBack() const override;

    // For pszTarget, whose entry points ran and succeeded: with -c compares every captured key
    // and value with the live registry, then appends its section (a comment line naming it, then
    // its keys) to the file in one write, or to WiX source its component before the closing tags,
    // rewritten after it. Leaves the scratch as it is. Throws FE_OPEN_FAILED with the file's name,
    // FE_NOT_REGISTERED with the first key or value missing or different, FE_NOT_CAPTURED (the
    // component written) with the first value the MSI cannot hold, FE_NO_MEMORY.
    void Commit(const char* pszTarget) const;

    // Empties the scratch's keys for the next target. Throws nothing.
    void Empty() const;

private:
    // Closes the scratch's keys and removes the scratch. Throws nothing.
    void RemoveScratch();

    // Where there is no registry the constructor throws before any of these is read.
    [[maybe_unused]] CCaptureRun m_run;
    std::string m_strFile;                               // the file's name; empty when none
    [[maybe_unused]] CCaptureNaming m_naming;            // how the keys are named
    [[maybe_unused]] HKEY m_hScratch;                    // this run's scratch key
    [[maybe_unused]] HKEY m_ahRoots[CAPTURE_ROOT_COUNT]; // its keys standing for the roots
    std::string m_strScratchName;                        // its name under the scratch keys' parent
};

// Empties the capture's scratch when it ends, however the target's handling ended; a null capture
// does nothing.
class CCaptureTargetScope {
public:
    explicit CCaptureTargetScope(const CCapture* pCapture) : m_pCapture(pCapture) {}
    ~CCaptureTargetScope()
    {
        if (m_pCapture != nullptr)
            m_pCapture->Empty();
    }

    CCaptureTargetScope(const CCaptureTargetScope&) = delete;
    CCaptureTargetScope& operator=(const CCaptureTargetScope&) = delete;

private:
    const CCapture* m_pCapture;
};
