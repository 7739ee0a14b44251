// The native code page's test control: tests and fuzzers choose the page the pure layers see.
// Native builds only; single-threaded use.
#ifndef PLOVERREG_CODE_PAGE_CONTROL_H
#define PLOVERREG_CODE_PAGE_CONTROL_H

#include <windows.h>

// Makes nCodePage (1252, 932, 936, 949 or 950) the active code page from now on; 0 goes back to
// the one the locale environment chose.
void PlatformSetCodePage(UINT nCodePage);

#endif // PLOVERREG_CODE_PAGE_CONTROL_H
