/* The 68000 side of the runtime tests, a Linux program without a C
   library: it reads jobs from standard input, runs each through the
   decoder it is linked with, and writes each result to standard output.

   A job, its numbers 32-bit big-endian:
     op        0 zk_unpack, 1 zka_count, 2 zka_size, 3 zka_extract; 9 reads
               the word at the output, for the tests' test of the watcher
     index     the entry of zka_size and zka_extract
     avail     the input's length as the decoder is told it (src_end - src)
     readable  how many of those bytes are in memory: the input ends there,
               just before a page that cannot be read, so that a read at or
               past it ends the program
     shift     the bytes between the input's end and that page (0 or 1),
               which set the parity of the input's address
     room      the output's length as the decoder is told it (dst_end - dst)
     odd       1 to put the output at an odd address
     then the readable bytes of the input, then room + 2 * GUARD bytes that
     fill the output and a guard band on either side of it.
   A result: the decoder's result as a 32-bit big-endian number, then the
   output with its guard bands as the decoder left them (nothing after
   zka_count and zka_size).

   Built with ZK_UNPACK_ONLY it calls zk_unpack alone, for the assembly
   decoder. */
#include "zkdecode.h"

#define PAGE 4096L
#define INPUT_PAGES 48L  /* an archive of 65535 entries is larger; the tests make none */
#define GUARD 16L
#define OUTPUT_SIZE (131072L + 2 * GUARD)
#define SYS_EXIT 1
#define SYS_READ 3
#define SYS_WRITE 4
#define SYS_MPROTECT 125

/* The input pages, then the page that must not be read, then the output. */
static unsigned char arena[(INPUT_PAGES + 1) * PAGE + OUTPUT_SIZE + 2] __attribute__((aligned(4096)));

static long sys(long n, long a, long b, long c)
{
    register long d0 __asm__("d0") = n;
    register long d1 __asm__("d1") = a;
    register long d2 __asm__("d2") = b;
    register long d3 __asm__("d3") = c;
    __asm__ volatile("trap #0" : "+d"(d0) : "d"(d1), "d"(d2), "d"(d3) : "memory");
    return d0;
}

static void quit(long status)
{
    sys(SYS_EXIT, status, 0, 0);
}

/* Reads exactly n bytes, or ends the program: 0 at the end of the jobs. */
static void read_all(unsigned char *at, long n, int first)
{
    while (n > 0) {
        long got = sys(SYS_READ, 0, (long)at, n);
        if (got == 0 && first) quit(0);
        if (got <= 0) quit(2);
        at += got;
        n -= got;
        first = 0;
    }
}

static void write_all(const unsigned char *at, long n)
{
    while (n > 0) {
        long put = sys(SYS_WRITE, 1, (long)at, n);
        if (put <= 0) quit(3);
        at += put;
        n -= put;
    }
}

static unsigned long number(const unsigned char *p)
{
    return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

void zk_main(void)
{
    unsigned char *const guard_page = arena + INPUT_PAGES * PAGE;
    unsigned char *const output = guard_page + PAGE;
    if (sys(SYS_MPROTECT, (long)guard_page, PAGE, 0) != 0) quit(4);
    for (;;) {
        unsigned char head[28], result[4];
        unsigned long op, avail, readable, shift, room, odd;
        unsigned char *src, *dst;
        long r = -99;
        read_all(head, sizeof head, 1);
        op = number(head);
        avail = number(head + 8);
        readable = number(head + 12);
        shift = number(head + 16);
        room = number(head + 20);
        odd = number(head + 24);
        if (readable > avail || readable + shift > INPUT_PAGES * PAGE || room + 2 * GUARD + odd > OUTPUT_SIZE + 2)
            quit(5);
        src = guard_page - shift - readable;
        dst = output + odd + GUARD;
        read_all(src, (long)readable, 0);
        read_all(dst - GUARD, (long)(room + 2 * GUARD), 0);
        switch (op) {
        case 0: r = zk_unpack(src, src + avail, dst, dst + room); break;
#ifndef ZK_UNPACK_ONLY
        case 1: r = zka_count(src, src + avail); break;
        case 2: r = zka_size(src, src + avail, (long)number(head + 4)); break;
        case 3: r = zka_extract(src, src + avail, (long)number(head + 4), dst, dst + room); break;
#endif
        case 9: r = *(const volatile unsigned short *)dst; break;
        default: quit(6);
        }
        result[0] = (unsigned char)(r >> 24);
        result[1] = (unsigned char)(r >> 16);
        result[2] = (unsigned char)(r >> 8);
        result[3] = (unsigned char)r;
        write_all(result, 4);
        if (op == 0 || op == 3) write_all(dst - GUARD, (long)(room + 2 * GUARD));
    }
}
