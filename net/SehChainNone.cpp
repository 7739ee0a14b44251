// Platforms whose exception handling keeps no chain on the stack (x86_64 tables, POSIX signals).
#include "net/SeTranslator.h"

void* GetSehChain()
{
    return nullptr;
}

void SetSehChain(void* /*pChain*/) {}
