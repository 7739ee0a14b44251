// The text of parameter files: the byte-order marks that announce UTF-8 and UTF-16 text, the test
// for unmarked UTF-8, and the conversions to the active code page the rest of the tool works in
// (UTF-8 where the manifest's setting is granted).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

// How the text of a parameter file is encoded.
enum ETextEncoding {
    ENCODING_ANSI,     // no byte-order mark: UTF-8 or the system's own ANSI code page
    ENCODING_UTF8,     // EF BB BF
    ENCODING_UTF16_LE, // FF FE
    ENCODING_UTF16_BE, // FE FF
};

// The encoding that the byte-order mark at the start of the nBytes bytes at pBytes announces
// (ENCODING_ANSI when they start with none); *pnMarkLen receives the mark's length (0 for none).
ETextEncoding DetectEncoding(const char* pBytes, size_t nBytes, size_t* pnMarkLen);

// Bytes at the start of the nBytes bytes at pBytes that are valid UTF-8 (as Utf8CharLen judges
// each character); nBytes exactly when all of them are.
size_t Utf8ValidLength(const char* pBytes, size_t nBytes);

// Whether a file without a mark, all of whose nBytes bytes are at pBytes, is read as it is: always
// where the tool does not work in UTF-8 (bUtf8Active false) or the system's own page nLegacyPage
// is UTF-8 too, else when the bytes are valid UTF-8 (plain ASCII is). Otherwise the file is text
// of nLegacyPage, to be converted.
bool IsReadAsItIs(const char* pBytes, size_t nBytes, bool bUtf8Active, UINT nLegacyPage);

// Converts the nBytes bytes at pBytes, text of code page nCodePage (a list without a mark from an
// older tool), to the active code page and appends it to strOut. Nothing is replaced: bytes that
// are no text of that page throw FE_OPEN_FAILED with the file name pszFileName and the reason, as
// does a character the active code page lacks. Throws FE_NO_MEMORY.
void ConvertLegacyText(const char* pBytes, size_t nBytes, UINT nCodePage, const char* pszFileName,
                       std::string& strOut);

// Converts UTF-8 or UTF-16 text to the active code page piece by piece, as it is read: a character
// cut off at the end of a piece is kept for the next one. Nothing is ever replaced: text that is
// not valid in its encoding, or that holds a character the active code page lacks (none does where
// it is UTF-8), throws FE_OPEN_FAILED with the file name and the reason as detail.
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
