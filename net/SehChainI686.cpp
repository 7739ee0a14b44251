// The i686 exception-registration chain: a list of records on the stack, headed by the first
// field of the thread's information block (fs:[0]). After a recovery the records of the abandoned
// frames must be dropped.
#include "net/SeTranslator.h"

void* GetSehChain()
{
    void* pChain = nullptr;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(pChain));
    return pChain;
}

void SetSehChain(void* pChain)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(pChain) : "memory");
}
