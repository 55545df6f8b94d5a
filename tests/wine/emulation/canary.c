/* The trivial 32-bit program run first under the emulation: no libc, no
 * loader, two system calls. If this does not print its line, 32-bit code
 * does not run here, whatever the plug-ins do. */
static long system_call(long number, long a, long b, long c)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
    return result;
}

void _start(void)
{
    static const char line[] = "32-bit code runs\n";
    system_call(4 /* write */, 1, (long)line, sizeof line - 1);
    system_call(1 /* exit */, 0, 0, 0);
}
