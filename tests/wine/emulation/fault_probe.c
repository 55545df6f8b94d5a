/* A 32-bit Windows program that writes to address 0 and reports what its
 * unhandled-exception filter was told. On a real kernel Wine raises an access
 * violation on write; under qemu without the trapno bridge, an illegal
 * instruction. */
#include <stdio.h>
#include <windows.h>

static LONG WINAPI report(EXCEPTION_POINTERS *fault)
{
    const EXCEPTION_RECORD *record = fault->ExceptionRecord;
    printf("exception %08lx access %lu address %08lx\n", record->ExceptionCode,
           record->NumberParameters > 1 ? (unsigned long)record->ExceptionInformation[0] : 99ul,
           record->NumberParameters > 1 ? (unsigned long)record->ExceptionInformation[1] : 0ul);
    fflush(stdout);
    ExitProcess(0);
}

int main(void)
{
    SetUnhandledExceptionFilter(report);
    *(volatile int *)0 = 1;
    puts("no fault");
    return 1;
}
