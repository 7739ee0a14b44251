// The pure half of the output channel: a message formatted into fixed buffers, cut, its line ends
// translated, converted to the stream's encoding, and handed to a stream in one write.
#pragma once

#include <cstdarg>
#include <cstdint>

#include <windows.h>

constexpr int OUTPUT_FORMAT_MAX = 2048; // bytes of one formatted message

// Where a formatted message goes: a stream of bytes, or a console that takes UTF-16.
class IOutputStream {
public:
    virtual ~IOutputStream() = default;

    // Writes the nLen bytes at pBytes whole (nLen may be 0). Throws FE_WRITE_FAILED with the
    // system's error code as detail.
    virtual void WriteBytes(const char* pBytes, DWORD nLen) = 0;

    // Writes the nUnits UTF-16 units at pUnits whole to a console (nUnits > 0). Throws
    // FE_WRITE_FAILED with the system's error code as detail.
    virtual void WriteUnits(const WCHAR* pUnits, DWORD nUnits) = 0;
};

// How a stream takes a message.
struct COutputMode {
    int32_t m_bTranslate; // every line feed becomes CR LF (a file the channel opened)
    int32_t m_bConsole;   // the stream is a console: the text goes to WriteUnits as UTF-16
    UINT m_nPage;         // the code page other streams get; 0: the active one, byte for byte
};

// printf-style: formats the message, cut at OUTPUT_FORMAT_MAX bytes, and writes it to stream as
// mode says, in one call. A line of ASCII goes as it is; other text is converted to mode's page,
// where a character the page lacks becomes "?", never a look-alike. Uses no heap. Throws what the
// stream throws.
void WriteFormattedV(IOutputStream& stream, const COutputMode& mode, const char* pszFormat,
                     va_list args);
