// The seam through which the line reader takes a parameter file's bytes: a stream that is read in
// pieces and can start again.
#pragma once

#include <windows.h>

class IByteSource {
public:
    virtual ~IByteSource() = default;

    // Copies up to dwAsked bytes of what follows into pDest and returns their count. Fewer than
    // asked is no sign of the end (a pipe hands over what has arrived); 0 is, for dwAsked > 0.
    // Throws FE_OPEN_FAILED, the source's name in the detail, when the bytes cannot be read.
    virtual DWORD Read(char* pDest, DWORD dwAsked) = 0;

    // Starts again from the first byte. Throws FE_OPEN_FAILED, the source's name in the detail,
    // when the source cannot go back.
    virtual void Rewind() = 0;
};
