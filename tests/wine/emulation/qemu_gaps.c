/* Preloaded into every 32-bit process that runs under qemu-i386's user mode
 * (emulated.sh): bridges the three ways qemu 7.2 differs from a Linux kernel
 * that stop 32-bit Wine. Each bridge is named after its difference and is
 * switched off by setting its variable to 0:
 *
 *   MEXLINK_BRIDGE_NOREPLACE_HINT  qemu takes MAP_FIXED_NOREPLACE as a plain
 *       hint and maps elsewhere; Wine keeps such a mapping above 2 GiB as a
 *       reserve and later cannot map its shared user data at 0x7ffe0000.
 *       Bridge: a mapping that did not land at the address asked for is
 *       undone and the call fails with EEXIST, as the kernel's does.
 *   MEXLINK_BRIDGE_TRAPNO_UNKNOWN  the signal context of a fault carries
 *       trapno -1; Wine's handlers switch on it, so a page fault becomes an
 *       illegal instruction. Bridge: trapno from the signal and si_code.
 *   MEXLINK_BRIDGE_SHARED_GDT      qemu keeps one GDT for all threads, so the
 *       TLS descriptors behind glibc's %gs and Wine's %fs hold the newest
 *       thread's base, and a thread that reloads its selector gets another
 *       thread's TLS or TEB. Bridge: each thread's %gs gets an LDT entry of
 *       its own, and Wine's request for a GDT slot for %fs is refused, so it
 *       uses its per-thread LDT selectors (its way on kernels without
 *       set_thread_area). Cost: thread creation is serialized and runs with
 *       signals blocked (see pthread_create), and LDT entries are not reused
 *       (512 threads per process at most; Wine's own entries start at 512
 *       when %gs is an LDT selector).
 *
 * Built freestanding for i386 (no i386 headers here), linked against the i386
 * libc.so.6 that wine32:i386 brings; only what this file uses is declared. */

typedef unsigned int size_t;
typedef unsigned int uint32_t;

#define NULL ((void *)0)
#define RTLD_NEXT ((void *)-1)
#define MAP_FAILED ((void *)-1)
#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define ENOSYS 38
#define SA_SIGINFO 4
#define SIG_COUNT 65
#define SYS_modify_ldt 123
#define SYS_set_thread_area 243
#define LDT_WRITE 0x11 /* modify_ldt: write an entry, new mode */
#define GS_ENTRIES 512
#define SIG_SETMASK 2

/* x86 exception vectors, as the kernel reports them in trapno. */
enum { TRAP_DIVIDE = 0, TRAP_DEBUG = 1, TRAP_BREAKPOINT = 3, TRAP_OVERFLOW = 4, TRAP_INVALID_OPCODE = 6,
       TRAP_PROTECTION = 13, TRAP_PAGE_FAULT = 14, TRAP_X87 = 16, TRAP_ALIGNMENT = 17 };
enum { SIGILL = 4, SIGTRAP = 5, SIGBUS = 7, SIGFPE = 8, SIGSEGV = 11 };
enum { SEGV_MAPERR = 1, SEGV_ACCERR = 2, BUS_ADRALN = 1, FPE_INTDIV = 1, FPE_INTOVF = 2, TRAP_TRACE = 2 };

struct siginfo_head {
    int si_signo;
    int si_errno;
    int si_code;
};
typedef void signal_handler(int, struct siginfo_head *, void *);

/* glibc's i386 struct sigaction */
struct sigaction {
    signal_handler *handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

/* ucontext_t: flags, link, stack (3 words), then the registers; trapno is
 * register 12 (gs fs es ds edi esi ebp esp ebx edx ecx eax trapno ...). */
#define CONTEXT_REGISTERS 5
#define REG_TRAPNO 12

/* The kernel's struct user_desc */
struct user_desc {
    unsigned int entry_number;
    unsigned int base_addr;
    unsigned int limit;
    unsigned int seg_32bit : 1, contents : 2, read_exec_only : 1, limit_in_pages : 1, seg_not_present : 1,
        useable : 1;
};

struct pthread_start {
    void *(*routine)(void *);
    void *arg;
    unsigned long signal_mask[32];
};

void *dlsym(void *, const char *);
char *getenv(const char *);
int *__errno_location(void);
int munmap(void *, size_t);
void *malloc(size_t);
void free(void *);
long write(int, const void *, size_t);
void abort(void);
int pthread_sigmask(int, const unsigned long *, unsigned long *);
int sched_yield(void);

static int bridge_noreplace_hint, bridge_trapno_unknown, bridge_shared_gdt;
static void *(*real_mmap)(void *, size_t, int, int, int, long);
static void *(*real_mmap64)(void *, size_t, int, int, int, long long);
static int (*real_sigaction)(int, const struct sigaction *, struct sigaction *);
static long (*real_syscall)(long, ...);
static int (*real_pthread_create)(void *, const void *, void *(*)(void *), void *);
static signal_handler *wine_handlers[SIG_COUNT];
static int next_gs_entry;
static int cloning;
static unsigned short glibc_gs_selector;

static void die(const char *why)
{
    static const char prefix[] = "emulation: qemu_gaps: ";
    size_t n = 0;
    while (why[n] != '\0')
        ++n;
    write(2, prefix, sizeof prefix - 1);
    write(2, why, n);
    write(2, "\n", 1);
    abort();
}

static int switched_on(const char *name)
{
    const char *value = getenv(name);
    return value == NULL || value[0] != '0';
}

/* ---------------------------------------------------------- NOREPLACE hint */
static void *kept_only_at(void *wanted, void *got, size_t length, int flags)
{
    if (!bridge_noreplace_hint || !(flags & MAP_FIXED_NOREPLACE) || (flags & MAP_FIXED) || got == MAP_FAILED
        || got == wanted)
        return got;
    munmap(got, length);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
}

void *mmap(void *address, size_t length, int prot, int flags, int fd, long offset)
{
    return kept_only_at(address, real_mmap(address, length, prot, flags, fd, offset), length, flags);
}

void *mmap64(void *address, size_t length, int prot, int flags, int fd, long long offset)
{
    return kept_only_at(address, real_mmap64(address, length, prot, flags, fd, offset), length, flags);
}

/* ---------------------------------------------------------- trapno unknown */
static int trap_of(int signal, int code)
{
    switch (signal) {
    case SIGSEGV: return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    case SIGBUS: return code == BUS_ADRALN ? TRAP_ALIGNMENT : TRAP_PAGE_FAULT;
    case SIGILL: return TRAP_INVALID_OPCODE;
    case SIGFPE: return code == FPE_INTDIV ? TRAP_DIVIDE : code == FPE_INTOVF ? TRAP_OVERFLOW : TRAP_X87;
    default: return code == TRAP_TRACE ? TRAP_DEBUG : TRAP_BREAKPOINT;
    }
}

/* Runs on the signal stack with whatever segments the fault left: it touches
 * no TLS (built without stack protector) and calls no libc. */
static void with_trapno(int signal, struct siginfo_head *info, void *context)
{
    int *registers = (int *)context + CONTEXT_REGISTERS;
    if (registers[REG_TRAPNO] == -1)
        registers[REG_TRAPNO] = trap_of(signal, info->si_code);
    wine_handlers[signal](signal, info, context);
}

static int is_fault_signal(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE || signal == SIGTRAP;
}

int sigaction(int signal, const struct sigaction *action, struct sigaction *old)
{
    if (!bridge_trapno_unknown || !is_fault_signal(signal))
        return real_sigaction(signal, action, old);
    signal_handler *previous = wine_handlers[signal];
    struct sigaction wrapped;
    if (action != NULL) {
        wrapped = *action;
        if (action->flags & SA_SIGINFO) {
            wine_handlers[signal] = action->handler;
            wrapped.handler = with_trapno;
        }
        action = &wrapped;
    }
    const int result = real_sigaction(signal, action, old);
    if (result != 0)
        wine_handlers[signal] = previous;
    else if (old != NULL && old->handler == with_trapno)
        old->handler = previous;
    return result;
}

/* ---------------------------------------------------------- shared GDT */
/* Moves the calling thread's %gs from the shared GDT descriptor to an LDT
 * entry of its own with the same base (glibc's TCB points at itself). */
static void own_gs(void)
{
    uint32_t base;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));
    const int entry = __atomic_fetch_add(&next_gs_entry, 1, __ATOMIC_RELAXED);
    if (entry >= GS_ENTRIES)
        die("no LDT entry left for another thread's %gs");
    struct user_desc desc = {(unsigned)entry, base, 0xfffff, 1, 0, 0, 1, 0, 1};
    if (real_syscall(SYS_modify_ldt, LDT_WRITE, &desc, sizeof desc) != 0)
        die("modify_ldt refused the %gs entry");
    const unsigned short selector = (unsigned short)(entry << 3 | 7); /* LDT, ring 3 */
    __asm__ volatile("movw %0, %%gs" : : "r"(selector));
}

static void *started_with_own_gs(void *context)
{
    own_gs();
    const struct pthread_start start = *(struct pthread_start *)context;
    free(context);
    pthread_sigmask(SIG_SETMASK, start.signal_mask, NULL);
    return start.routine(start.arg);
}

/* qemu loads a new thread's %gs through the selector its parent holds. So
 * the parent holds glibc's GDT selector across the clone, with the
 * descriptor set to its own base first: the clone then rewrites it to the
 * child's base, which the child loads, while the parent keeps the base it
 * loaded. Signals stay blocked (a reload would now give the parent the
 * child's base), and one thread at a time does this. */
int pthread_create(void *thread, const void *attributes, void *(*routine)(void *), void *arg)
{
    if (!bridge_shared_gdt)
        return real_pthread_create(thread, attributes, routine, arg);
    struct pthread_start *start = malloc(sizeof *start);
    if (start == NULL)
        return 11; /* EAGAIN */
    start->routine = routine;
    start->arg = arg;
    unsigned long all[32];
    for (int i = 0; i < 32; ++i)
        all[i] = ~0ul;
    pthread_sigmask(SIG_SETMASK, all, start->signal_mask);
    while (__atomic_exchange_n(&cloning, 1, __ATOMIC_ACQUIRE))
        sched_yield();

    unsigned short own_selector;
    uint32_t base;
    __asm__ volatile("movw %%gs, %0\n\tmovl %%gs:0, %1" : "=r"(own_selector), "=r"(base));
    struct user_desc desc = {(unsigned)glibc_gs_selector >> 3, base, 0xfffff, 1, 0, 0, 1, 0, 1};
    if (real_syscall(SYS_set_thread_area, &desc) != 0)
        die("set_thread_area refused glibc's own entry");
    __asm__ volatile("movw %0, %%gs" : : "r"(glibc_gs_selector));
    const int result = real_pthread_create(thread, attributes, started_with_own_gs, start);
    __asm__ volatile("movw %0, %%gs" : : "r"(own_selector));

    __atomic_store_n(&cloning, 0, __ATOMIC_RELEASE);
    pthread_sigmask(SIG_SETMASK, start->signal_mask, NULL);
    if (result != 0)
        free(start);
    return result;
}

/* libc's syscall is variadic; on i386 a caller passes the same stack either way. */
long syscall(long number, long a, long b, long c, long d, long e, long f)
{
    if (bridge_shared_gdt && number == SYS_set_thread_area && ((const struct user_desc *)a)->entry_number == ~0u) {
        *__errno_location() = ENOSYS;
        return -1;
    }
    return real_syscall(number, a, b, c, d, e, f);
}

/* ---------------------------------------------------------- start */
__attribute__((constructor)) static void start_bridges(void)
{
    real_mmap = dlsym(RTLD_NEXT, "mmap");
    real_mmap64 = dlsym(RTLD_NEXT, "mmap64");
    real_sigaction = dlsym(RTLD_NEXT, "sigaction");
    real_syscall = dlsym(RTLD_NEXT, "syscall");
    real_pthread_create = dlsym(RTLD_NEXT, "pthread_create");
    if (!real_mmap || !real_mmap64 || !real_sigaction || !real_syscall || !real_pthread_create)
        die("libc entry points not found");
    bridge_noreplace_hint = switched_on("MEXLINK_BRIDGE_NOREPLACE_HINT");
    bridge_trapno_unknown = switched_on("MEXLINK_BRIDGE_TRAPNO_UNKNOWN");
    bridge_shared_gdt = switched_on("MEXLINK_BRIDGE_SHARED_GDT");
    if (bridge_shared_gdt) {
        __asm__ volatile("movw %%gs, %0" : "=r"(glibc_gs_selector));
        own_gs();
    }
}
