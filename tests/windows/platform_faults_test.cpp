// The platform reports a program's own faults with the right exception codes, and a thread's
// stack grows as far as it was reserved. On a machine whose kernel runs no 32-bit program the
// x86 suites run under an emulator, which tells Wine too little about a fault unless the test
// tooling mends it (scripts/x86-emulation): this suite is what fails when it does not.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

// The first exception the faulting thread saw, and for an access violation whether it wrote
// (1) or read (0); the thread ends right there.
DWORD g_seen = 0;
ULONG_PTR g_access = 0;

LONG CALLBACK EndTheFaultingThread(EXCEPTION_POINTERS* pointers) {
    g_seen = pointers->ExceptionRecord->ExceptionCode;
    g_access = pointers->ExceptionRecord->ExceptionInformation[0];
    ExitThread(1);
}

// Runs `body` on a thread of its own (with the default stack) and returns what it returned, or
// the code of the exception it raised.
struct Outcome {
    bool faulted;
    DWORD value;
};
Outcome RunOnThread(LPTHREAD_START_ROUTINE body) {
    g_seen = 0;
    PVOID handler = AddVectoredExceptionHandler(1, EndTheFaultingThread);
    HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, nullptr);
    DWORD result = 0;
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
    }
    RemoveVectoredExceptionHandler(handler);
    if (g_seen != 0) return {true, g_seen};
    return {false, result};
}

// Read through volatile objects, so that the compiler cannot see the fault coming.
volatile int g_zero = 0;
int* volatile g_unmapped = reinterpret_cast<int*>(0x10);

DWORD WINAPI WriteToAnUnmappedPage(LPVOID) {
    *g_unmapped = 1;
    return 0;
}
DWORD WINAPI ReadAnUnmappedPage(LPVOID) {
    return static_cast<DWORD>(*g_unmapped);
}
DWORD WINAPI DivideByZero(LPVOID) {
    return static_cast<DWORD>(1000 / g_zero);
}
DWORD WINAPI ExecuteAnInvalidInstruction(LPVOID) {
    __asm__ volatile("ud2");
    return 0;
}

// 64 frames of 8 KiB each: half a megabyte, far past the stack's first committed page.
int Descend(int depth) {
    volatile char frame[8192];
    for (unsigned i = 0; i < sizeof frame; i += 512) frame[i] = static_cast<char>(depth);
    int below = depth > 0 ? Descend(depth - 1) : 0;
    return below + frame[0] + 1;
}
DWORD WINAPI GrowTheStack(LPVOID) {
    return static_cast<DWORD>(Descend(63));
}

TEST(PlatformFaults, EachFaultArrivesWithItsOwnCode) {
    const struct {
        const char* what;
        LPTHREAD_START_ROUTINE body;
        DWORD code;
        int access;  // for an access violation: 1 written, 0 read
    } cases[] = {
        {"a write to an unmapped page", WriteToAnUnmappedPage, EXCEPTION_ACCESS_VIOLATION, 1},
        {"a read of an unmapped page", ReadAnUnmappedPage, EXCEPTION_ACCESS_VIOLATION, 0},
        {"an integer division by zero", DivideByZero, EXCEPTION_INT_DIVIDE_BY_ZERO, -1},
        {"an invalid instruction", ExecuteAnInvalidInstruction, EXCEPTION_ILLEGAL_INSTRUCTION, -1},
    };
    for (const auto& c : cases) {
        Outcome outcome = RunOnThread(c.body);
        EXPECT_TRUE(outcome.faulted) << c.what << " raised nothing";
        EXPECT_EQ(outcome.value, c.code) << c.what << ": the code is 0x" << std::hex << outcome.value;
        if (c.access >= 0) {
            EXPECT_EQ(g_access, static_cast<ULONG_PTR>(c.access)) << c.what;
        }
    }
}

TEST(PlatformFaults, AStackGrowsPastItsFirstPage) {
    Outcome outcome = RunOnThread(GrowTheStack);
    ASSERT_FALSE(outcome.faulted) << "growing the stack raised 0x" << std::hex << outcome.value;
    // Every frame adds its own depth plus one.
    EXPECT_EQ(outcome.value, 64u * 63u / 2u + 64u);
}

}  // namespace
