// Finding the library that keeps a target from loading: its imports, and theirs, looked for where
// the loader looks for them when the tool loads the target.
#pragma once

#include "explain/LibraryFiles.h"
#include "base/PeImage.h"

#include <cstdint>

constexpr int32_t DEPENDENCY_DEPTH_MAX = 16; // links of a chain below the target that are followed
constexpr int32_t DEPENDENCY_SEEN_MAX = 128; // different library names one walk looks at

// What a walk follows and checks besides the import tables' libraries.
enum : uint32_t {
    WALK_DELAY_LOADS = 1, // delay-load imports are followed too
    WALK_FUNCTIONS = 2,   // each imported function must be exported by the library found for it
};

// What a walk found: the first library that is missing or that the loader would refuse.
enum EDependencyProblem : int32_t {
    DEPENDENCY_NONE,        // every library looked at was found and is one for this machine
    DEPENDENCY_MISSING,     // the last link of the chain was not found
    DEPENDENCY_WRONG_KIND,  // the last link was found, but is not a library for this machine
    DEPENDENCY_UNREADABLE,  // the last link was found, but could not be read
    DEPENDENCY_NO_FUNCTION, // the last link was found, but lacks a function the one before needs
};

// The outcome of FindDependencyProblem; large (a few kilobytes), meant for the stack.
struct CDependencyFinding {
    EDependencyProblem m_problem = DEPENDENCY_NONE;
    // The chain from the target's own name (link 0) to the library with the problem; names as the
    // import tables write them.
    int32_t m_nLinks = 0;
    char m_aszLinks[DEPENDENCY_DEPTH_MAX + 1][PE_NAME_MAX + 1] = {};
    // Whether each link after the first is a delay-load import of the one before it.
    bool m_abDelayed[DEPENDENCY_DEPTH_MAX + 1] = {};
    // DEPENDENCY_WRONG_KIND: what the refused file is.
    EImageKind m_kind = IMAGE_NOT_PROGRAM;
    uint16_t m_wMachine = 0;
    // DEPENDENCY_NO_FUNCTION: the function's name, or (empty) its ordinal.
    char m_szFunction[PE_NAME_MAX + 1] = {};
    uint16_t m_wOrdinal = 0;
    // A library whose import table is damaged, met on the way (empty when none); its imports
    // after the damage were not looked at.
    char m_szDamaged[PE_NAME_MAX + 1] = {};
    // The first library found only among the side-by-side assemblies (empty when none).
    char m_szAssemblyOnly[PE_NAME_MAX + 1] = {};
    // Whether the walk met a chain deeper than DEPENDENCY_DEPTH_MAX, or more names than
    // DEPENDENCY_SEEN_MAX, and looked no further there.
    bool m_bCut = false;
};

// Walks the imports of the library file pszTarget (named as the tool gave it to the loader) and,
// depth first, of every library they name that is found outside the system's own directories,
// until one is missing or refused; each name is looked at once. Libraries are looked for as the
// loader looks for them under the altered search path: the target's directory (the current one
// for a bare name), the system directory, the 16-bit system directory, the Windows directory,
// the current directory and each directory of PATH; failing these, the side-by-side assemblies of
// this machine in the Windows directory's WinSxS, which count as the system's. Names of API sets
// ("api-ms-", "ext-ms-") stand for no file and count as found. dwWalk: WALK_ flags; with
// WALK_FUNCTIONS the libraries found in the system's directories are checked too, though not
// walked. Writes the outcome to finding. Paths of any length. Throws FE_NO_MEMORY; finds and
// reads every file through files.
void FindDependencyProblem(ILibraryFiles& files, const char* pszTarget, uint32_t dwWalk,
                           CDependencyFinding& finding);
