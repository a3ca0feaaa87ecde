/* Preloaded into the 32-bit programs that qemu-i386 runs for the tests (scripts/x86-emulation).
 *
 * qemu hands a guest's fault to its signal handler with the trap number of the signal context
 * at -1, where the kernel puts the processor's exception vector. 32-bit Wine tells the kind of
 * fault by that number alone: an access violation then arrives as an illegal instruction, a
 * division by zero as a floating-point fault, and a touch of a stack's guard page is never
 * handled as one, so that a stack cannot grow past its first page.
 *
 * This library stands in for the C library's sigaction: the handlers a program sets for the
 * fault signals are called through a wrapper that, when the trap number is -1, puts there the
 * vector that the signal and its code name, and leaves everything else as it is. It is built
 * without any C library; the real sigaction is looked up at run time, in the program's own.
 * Built for x86-64 it does nothing: 64-bit programs started from an emulated one find it
 * through the same preload path. */

#if defined(__i386__)

typedef unsigned int u32;

struct fault_info {  /* the start of siginfo_t */
    int signo;
    int error;
    int code;
};

struct user_sigaction {  /* struct sigaction of the i386 C library */
    void (*handler)(int, struct fault_info *, void *);
    u32 mask[32];
    int flags;
    void (*restorer)(void);
};

enum {
    kSigIll = 4,
    kSigTrap = 5,
    kSigBus = 7,
    kSigFpe = 8,
    kSigSegv = 11,
    kSaSigInfo = 4,
    kSignals = 65,
    /* uc_flags, uc_link and uc_stack (12 bytes) come before the 19 general registers;
     * the trap number is the thirteenth of them. */
    kTrapNumberOffset = 20 + 12 * 4,
};

/* The processor's exception vectors. */
enum {
    kVectorDivide = 0,
    kVectorDebug = 1,
    kVectorBreakpoint = 3,
    kVectorOverflow = 4,
    kVectorInvalidOpcode = 6,
    kVectorGeneralProtection = 13,
    kVectorPageFault = 14,
    kVectorFloatingPoint = 16,
    kVectorAlignment = 17,
};

typedef int (*sigaction_function)(int, const struct user_sigaction *, struct user_sigaction *);

extern void *dlsym(void *handle, const char *name);
#define RTLD_NEXT ((void *)-1l)

static void (*program_handlers[kSignals])(int, struct fault_info *, void *);

static int vector_of(int signal, int code) {
    switch (signal) {
    case kSigSegv:  /* SEGV_MAPERR, SEGV_ACCERR; else the kernel's own: a protection fault */
        return code == 1 || code == 2 ? kVectorPageFault : kVectorGeneralProtection;
    case kSigBus:  /* BUS_ADRALN; else an address with nothing behind it */
        return code == 1 ? kVectorAlignment : kVectorPageFault;
    case kSigFpe:  /* FPE_INTDIV, FPE_INTOVF; else the floating-point unit */
        return code == 1 ? kVectorDivide : code == 2 ? kVectorOverflow : kVectorFloatingPoint;
    case kSigIll:
        return kVectorInvalidOpcode;
    case kSigTrap:  /* TRAP_TRACE; else a breakpoint */
        return code == 2 ? kVectorDebug : kVectorBreakpoint;
    }
    return -1;
}

static void call_with_trap_number(int signal, struct fault_info *info, void *context) {
    int *trap_number = (int *)((char *)context + kTrapNumberOffset);
    if (*trap_number == -1 && info != 0) *trap_number = vector_of(signal, info->code);
    program_handlers[signal](signal, info, context);
}

static int is_fault_signal(int signal) {
    return signal == kSigSegv || signal == kSigBus || signal == kSigFpe || signal == kSigIll ||
           signal == kSigTrap;
}

__attribute__((visibility("default"))) int sigaction(int signal, const struct user_sigaction *wanted,
                                                      struct user_sigaction *previous) {
    static sigaction_function real;
    if (real == 0) real = (sigaction_function)dlsym(RTLD_NEXT, "sigaction");
    if (real == 0) return -1;
    if (!is_fault_signal(signal)) return real(signal, wanted, previous);

    struct user_sigaction replaced;
    const struct user_sigaction *given = wanted;
    if (wanted != 0 && (wanted->flags & kSaSigInfo) != 0) {
        replaced = *wanted;
        replaced.handler = call_with_trap_number;
        given = &replaced;
    }
    /* The wrapper may be called as soon as it is set: the program's handler goes first. */
    void (*before)(int, struct fault_info *, void *) = program_handlers[signal];
    if (given != wanted) program_handlers[signal] = wanted->handler;
    int status = real(signal, given, previous);
    if (status != 0) {
        program_handlers[signal] = before;
        return status;
    }
    /* The program sees its own handler, never the wrapper. */
    if (previous != 0 && previous->handler == call_with_trap_number) previous->handler = before;
    return status;
}

#endif
