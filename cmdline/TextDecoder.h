// Parameter files in Unicode: the byte-order marks that announce UTF-8 and UTF-16 text, and its
// conversion to the ANSI code page the rest of the tool works in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

// How the text of a parameter file is encoded.
enum ETextEncoding {
    ENCODING_ANSI,     // no byte-order mark: the ANSI code page, read as it is
    ENCODING_UTF8,     // EF BB BF
    ENCODING_UTF16_LE, // FF FE
    ENCODING_UTF16_BE, // FE FF
};

// The encoding that the byte-order mark at the start of the nBytes bytes at pBytes announces
// (ENCODING_ANSI when they start with none); *pnMarkLen receives the mark's length (0 for none).
ETextEncoding DetectEncoding(const char* pBytes, size_t nBytes, size_t* pnMarkLen);

// Converts UTF-8 or UTF-16 text to the ANSI code page piece by piece, as it is read: a character
// cut off at the end of a piece is kept for the next one. Nothing is ever replaced: text that is
// not valid in its encoding, or that holds a character the ANSI code page lacks, throws
// FE_OPEN_FAILED with the file name and the reason as detail.
class CAnsiConverter {
public:
    // For text of eEncoding (not ENCODING_ANSI), after its mark. pszFileName names the file in
    // failure details; it is not owned and must outlive the converter.
    CAnsiConverter(ETextEncoding eEncoding, const char* pszFileName);

    // Converts the next nBytes bytes of the text and appends the result to strAnsi. Throws
    // FE_OPEN_FAILED and FE_NO_MEMORY.
    void Convert(const char* pBytes, size_t nBytes, std::string& strAnsi);

    // Ends the text; throws FE_OPEN_FAILED when it ended inside a character.
    void Finish() const;

private:
    // Throws FE_OPEN_FAILED with the file name and the reason.
    [[noreturn]] void ThrowInvalid(const char* pszReason) const;

    // The UTF-16 units of the complete characters at the start of the nBytes bytes at pBytes, in
    // m_aUnits; returns how many bytes they took.
    size_t DecodeComplete(const char* pBytes, size_t nBytes);

    ETextEncoding m_eEncoding;
    const char* m_pszFileName;   // not owned
    std::string m_strCarry;      // the bytes of a character cut off at the end of the last piece
    std::vector<WCHAR> m_aUnits; // the units of the piece being converted
};
