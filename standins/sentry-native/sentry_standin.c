#define _GNU_SOURCE
#define UNW_LOCAL_ONLY
#include "sentry.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <libunwind.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

struct sentry_options_s {
    char handler_path[1024];
    char database_path[1024];
};

/* Everything the signal handler touches is prepared before a crash. */
static char g_db[1024];
static int g_installed;
static char *g_altstack;
static const int g_signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
#define NSIG_HANDLED (int)(sizeof g_signals / sizeof g_signals[0])
static struct sigaction g_previous[NSIG_HANDLED];

static void copy_str(char *dst, size_t cap, const char *src)
{
    if (!src) src = "";
    size_t n = strlen(src);
    if (n >= cap) n = cap - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

sentry_options_t *sentry_options_new(void) { return calloc(1, sizeof(sentry_options_t)); }
void sentry_options_free(sentry_options_t *opts) { free(opts); }

void sentry_options_set_handler_path(sentry_options_t *opts, const char *path)
{
    if (opts) copy_str(opts->handler_path, sizeof opts->handler_path, path);
}

void sentry_options_set_database_path(sentry_options_t *opts, const char *path)
{
    if (opts) copy_str(opts->database_path, sizeof opts->database_path, path);
}

/* --- async-signal-safe output helpers --- */

static void put(int fd, const char *s) { ssize_t r = write(fd, s, strlen(s)); (void)r; }

static char *fmt_u(char *end, uint64_t v, unsigned base)
{
    *--end = '\0';
    do {
        unsigned d = (unsigned)(v % base);
        *--end = (char)(d < 10 ? '0' + d : 'a' + d - 10);
        v /= base;
    } while (v);
    return end;
}

static void put_u(int fd, uint64_t v, unsigned base)
{
    char buf[32];
    if (base == 16) put(fd, "0x");
    put(fd, fmt_u(buf + sizeof buf, v, base));
}

static const char *signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

static void write_report(int sig, siginfo_t *info)
{
    char path[1200], num[32];
    size_t len = 0;
#define APPEND(s) do { const char *s_ = (s); size_t n_ = strlen(s_); \
        if (len + n_ < sizeof path) { memcpy(path + len, s_, n_); len += n_; } } while (0)
    APPEND(g_db);
    APPEND("/crash-");
    APPEND(fmt_u(num + sizeof num, (uint64_t)time(NULL), 10));
    APPEND("-");
    APPEND(fmt_u(num + sizeof num, (uint64_t)getpid(), 10));
    APPEND(".txt");
    path[len] = '\0';
#undef APPEND

    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    put(fd, "Lumira crash report\nsignal: ");
    put_u(fd, (uint64_t)sig, 10);
    put(fd, " ");
    put(fd, signal_name(sig));
    put(fd, "\npid: ");
    put_u(fd, (uint64_t)getpid(), 10);
    put(fd, "\naddress: ");
    put_u(fd, (uint64_t)(uintptr_t)(info ? info->si_addr : 0), 16);
    put(fd, "\nbacktrace:\n");

    unw_context_t ctx;
    unw_cursor_t cursor;
    if (unw_getcontext(&ctx) == 0 && unw_init_local(&cursor, &ctx) == 0) {
        for (int frame = 0; frame < 128 && unw_step(&cursor) > 0; ++frame) {
            unw_word_t ip = 0, off = 0;
            unw_get_reg(&cursor, UNW_REG_IP, &ip);
            char name[256];
            put(fd, "#");
            put_u(fd, (uint64_t)frame, 10);
            put(fd, " ");
            put_u(fd, (uint64_t)ip, 16);
            if (unw_get_proc_name(&cursor, name, sizeof name, &off) == 0) {
                put(fd, " ");
                put(fd, name);
                put(fd, "+");
                put_u(fd, (uint64_t)off, 16);
            }
            Dl_info dl;
            if (dladdr((void *)ip, &dl) && dl.dli_fname) {
                put(fd, " (");
                put(fd, dl.dli_fname);
                put(fd, ")");
            }
            put(fd, "\n");
        }
    }
    fsync(fd);
    close(fd);
}

static void on_fatal(int sig, siginfo_t *info, void *uctx)
{
    (void)uctx;
    static volatile sig_atomic_t in_handler;
    if (!in_handler) {
        in_handler = 1;
        write_report(sig, info);
    }
    /* Die the way the process would have died without us. */
    signal(sig, SIG_DFL);
    raise(sig);
}

int sentry_init(sentry_options_t *opts)
{
    if (!opts) return 1;
    copy_str(g_db, sizeof g_db, opts->database_path);
    sentry_options_free(opts);
    if (g_db[0] == '\0') return 1;
    mkdir(g_db, 0755);

    if (!g_altstack) {
        /* A stack overflow leaves no room to run the handler on the thread's stack. */
        size_t size = 64 * 1024;
        g_altstack = malloc(size);
        if (g_altstack) {
            stack_t ss = {.ss_sp = g_altstack, .ss_size = size, .ss_flags = 0};
            sigaltstack(&ss, NULL);
        }
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = on_fatal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < NSIG_HANDLED; ++i)
        sigaction(g_signals[i], &sa, g_installed ? NULL : &g_previous[i]);
    g_installed = 1;
    return 0;
}

int sentry_close(void)
{
    if (!g_installed) return 1;
    for (int i = 0; i < NSIG_HANDLED; ++i)
        sigaction(g_signals[i], &g_previous[i], NULL);
    g_installed = 0;
    return 0;
}

int sentry_shutdown(void) { return sentry_close(); }
