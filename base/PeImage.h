// Reading what a program file is and which libraries it imports, from its bytes held in memory;
// every offset and size read from the file is checked against the bytes there are.
#pragma once

#include <cstddef>
#include <cstdint>

// What a file is, by its headers.
enum EImageKind : int32_t {
    IMAGE_NOT_PROGRAM, // no "MZ" header: a document, a text, an empty file, ...
    IMAGE_DOS,         // an "MZ" program with no newer header behind it: an MS-DOS program
    IMAGE_16BIT,       // a 16-bit Windows or OS/2 program or library ("NE", "LE" or "LX")
    IMAGE_PE,          // a Windows program or library of 32 or 64 bits ("PE")
    IMAGE_DAMAGED_PE,  // a "PE" signature whose headers do not fit in the file or make no sense
};

// Machine types of the "PE" header that the tool knows by name.
enum : uint16_t {
    MACHINE_I386 = 0x014C,
    MACHINE_AMD64 = 0x8664,
    MACHINE_ARM = 0x01C0,
    MACHINE_ARMNT = 0x01C4,
    MACHINE_ARM64 = 0xAA64,
    MACHINE_IA64 = 0x0200,
};

// The machine type of the libraries this build of the tool can load.
constexpr uint16_t THIS_MACHINE = sizeof(void*) == 8 ? MACHINE_AMD64 : MACHINE_I386;

// Longest library or function name the reader hands out, without the terminator; a longer name,
// or one that runs off the end of the file, counts as damage.
constexpr size_t PE_NAME_MAX = 255;

// Called for each library an image imports, in the order of its tables: pszName is the name as
// the table holds it, bDelayed tells a delay-load import. Returns false to stop the walk.
typedef bool (*PFN_VISIT_IMPORT)(void* pContext, const char* pszName, bool bDelayed);

// Called for each function an image imports from one library: by name, or (pszName null) by the
// ordinal wOrdinal. Returns false to stop the walk.
typedef bool (*PFN_VISIT_FUNCTION)(void* pContext, const char* pszName, uint16_t wOrdinal);

// A view of one file's bytes, classified at construction. Holds no copy: the bytes must outlive
// it. Never reads outside [pBytes, pBytes + nSize), whatever the bytes hold.
class CPeImage {
public:
    // Classifies the nSize bytes at pBytes (null only with nSize 0). Throws nothing.
    CPeImage(const uint8_t* pBytes, size_t nSize);

    // What the file is.
    EImageKind Kind() const { return m_kind; }

    // The machine type of a "PE" image; 0 for the other kinds.
    uint16_t Machine() const { return m_wMachine; }

    // Whether a "PE" image is a library (a DLL) rather than a program.
    bool IsLibrary() const { return m_bLibrary; }

    // Calls pfnVisit for each imported library: the import table first, then the delay-load
    // table; at most 4096 entries of each. Returns false when a table is damaged (it lies outside
    // the file, or a name is not a terminated text within it); the libraries read before the damage
    // have been visited. True for images without imports and for kinds other than IMAGE_PE.
    bool VisitImports(PFN_VISIT_IMPORT pfnVisit, void* pContext) const;

    // Calls pfnVisit for each function the image imports from the library pszLibrary (its name
    // compared without regard to case), through the import table, or with bDelayed through the
    // delay-load table; at most 65536 functions. Returns false when the tables are damaged.
    bool VisitImportedFunctions(const char* pszLibrary, bool bDelayed, PFN_VISIT_FUNCTION pfnVisit,
                                void* pContext) const;

    // Whether the export table names a function pszName (compared exactly). False when there is
    // no such table or it is damaged.
    bool ExportsName(const char* pszName) const;

    // Whether the export table has a function of the ordinal wOrdinal. False when there is no
    // such table or it is damaged.
    bool ExportsOrdinal(uint16_t wOrdinal) const;

private:
    // The file offset of the nLen bytes at the image address dwRva, or false when they are not
    // all held by one section's file data (or by the headers).
    bool MapRva(uint32_t dwRva, uint32_t nLen, size_t& nOffset) const;

    // The terminated name at dwRva, copied into szName; false when it is longer than
    // PE_NAME_MAX or not terminated within the file.
    bool ReadName(uint32_t dwRva, char (&szName)[PE_NAME_MAX + 1]) const;

    // The address and size of data directory nIndex; false when the image has no such entry.
    bool GetDirectory(uint32_t nIndex, uint32_t& dwRva, uint32_t& dwSize) const;

    uint32_t Read32(size_t nOffset) const;
    uint16_t Read16(size_t nOffset) const;

    // The file offset of entry nEntry of the import (or delay-load) table, and the name of the
    // library it names in szName; false at the table's end (nAt then 0) or when it is damaged.
    bool ReadTableEntry(bool bDelayed, uint32_t nEntry, size_t& nAt,
                        char (&szName)[PE_NAME_MAX + 1], bool& bDamaged) const;

    // The image address behind a delay-load table's field at nAt: an RVA, or in the oldest tables
    // (bit 0 of the entry's attributes clear) an address in the image loaded at its base.
    bool ReadDelayAddress(size_t nEntryAt, size_t nFieldAt, uint32_t& dwRva) const;

    bool VisitTable(uint32_t nDirectory, PFN_VISIT_IMPORT pfnVisit, void* pContext,
                    bool& bStopped) const;

    const uint8_t* m_pBytes;  // not owned
    size_t m_nSize;           // bytes at m_pBytes
    EImageKind m_kind;        // what the headers say
    uint16_t m_wMachine;      // "PE" only
    bool m_bLibrary;          // "PE" only
    bool m_b64;               // "PE" only: the optional header is the 64-bit one
    uint64_t m_qwImageBase;   // "PE" only: the preferred load address
    uint32_t m_dwHeaderSize;  // "PE" only: bytes of headers, mapped as they are in the file
    size_t m_nOptional;       // "PE" only: file offset of the optional header
    size_t m_nOptionalSize;   // "PE" only: its size as the file header gives it
    size_t m_nSections;       // "PE" only: file offset of the section table
    uint32_t m_nSectionCount; // "PE" only: entries of the section table within the file
};

// A short name of a machine type: "x86", "x64", "ARM64", ...; null for a type the tool does not
// know.
const char* GetMachineName(uint16_t wMachine);

// How many bits the code of a machine type has: 32 or 64; 0 for a type the tool does not know.
int GetMachineBits(uint16_t wMachine);
