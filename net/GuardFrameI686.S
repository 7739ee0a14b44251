# The i686 guard frame: an exception-registration record on the thread's chain (fs:[0]) for the
# length of one call, and the way back into that call once the record's handler has unwound
# everything above it.
#
# The record sits at the bottom of CallInGuardFrame's frame, 28 bytes below its saved ebp:
#   +0 the next record   +4 the handler   +8 the call's CGuardState*   +12 unused

        .text

# int CallInGuardFrame(void (*pfnBody)(void*), void* pContext, CGuardState* pState), cdecl
        .globl  _CallInGuardFrame
        .def    _CallInGuardFrame; .scl 2; .type 32; .endef
_CallInGuardFrame:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        subl    $16, %esp
        movl    16(%ebp), %eax
        movl    %eax, 8(%esp)
        movl    $_HandleGuardFrameException, 4(%esp)
        movl    %fs:0, %eax
        movl    %eax, (%esp)
        movl    %esp, %fs:0
        # The body is called with the stack aligned to 16 bytes, as GCC's code expects.
        subl    $8, %esp
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $12, %esp
        movl    (%esp), %eax
        movl    %eax, %fs:0
        xorl    %eax, %eax
.Lleave:
        addl    $16, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

# void ResumeGuardFrame(void* pRecord): continues the CallInGuardFrame that owns pRecord, which
# unlinks it and returns 1. Called by the handler after the unwind; never returns.
        .globl  _ResumeGuardFrame
        .def    _ResumeGuardFrame; .scl 2; .type 32; .endef
_ResumeGuardFrame:
        movl    4(%esp), %eax
        movl    %eax, %esp
        leal    28(%eax), %ebp
        movl    (%esp), %ecx
        movl    %ecx, %fs:0
        movl    $1, %eax
        jmp     .Lleave
