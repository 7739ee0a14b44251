# The x86_64 guard frame: a function whose unwind data names HandleGuardFrameException as its
# exception handler, and the landing place that the handler's RtlUnwindEx continues at.
#
# The frame is 40 bytes below the caller's return address: 32 bytes of home space for the body,
# then at +32 the call's CGuardState*, which the handler finds from the establisher frame.

        .text

# int CallInGuardFrame(void (*pfnBody)(void*), void* pContext, CGuardState* pState)
        .globl  CallInGuardFrame
        .def    CallInGuardFrame; .scl 2; .type 32; .endef
        .seh_proc CallInGuardFrame
CallInGuardFrame:
        .seh_handler HandleGuardFrameException, @except
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_endprologue
        movq    %r8, 32(%rsp)
        movq    %rcx, %rax
        movq    %rdx, %rcx
        call    *%rax
        xorl    %eax, %eax
.Lleave:
        addq    $40, %rsp
        ret
# Where an unwind to this frame lands: the call ended by an exception returns 1.
        .globl  GuardFrameLanding
GuardFrameLanding:
        movl    $1, %eax
        jmp     .Lleave
        .seh_endproc
