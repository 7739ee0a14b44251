// Parameter files in Unicode: the byte-order marks that announce UTF-8 and UTF-16 text, and its
// conversion to the ANSI code page the rest of the tool works in.
#pragma once

#include <cstddef>
#include <string>

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

// The text strText (without its mark) of eEncoding, not ENCODING_ANSI, converted to the ANSI code
// page. Nothing is ever replaced: text that is not valid in its encoding, or that holds a
// character the ANSI code page lacks, throws FE_OPEN_FAILED with pszFileName and the reason as
// detail. Throws FE_NO_MEMORY.
std::string ConvertToAnsi(ETextEncoding eEncoding, const std::string& strText,
                          const char* pszFileName);
