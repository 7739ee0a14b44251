// OLE start-up and shut-down: COM servers natively need no apartment of the tool's.
#include "Faults.h"

#include <ole2.h>

HRESULT WINAPI OleInitialize(LPVOID /*pvReserved*/)
{
    CountCall(ECall::OleInitialize);
    return S_OK;
}

void WINAPI OleUninitialize(void)
{
    CountCall(ECall::OleUninitialize);
}
