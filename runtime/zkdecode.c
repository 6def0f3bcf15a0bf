/* zkdecode: unpacks zktools' packed streams and extracts the entries of
   ZKArchives on the calculator. See zkdecode.h and zkdecode(3).

   Written for 68000 compilers whose int has 16 or 32 bits: a value that
   may pass 32767 is an unsigned short or a long, never an int, and a
   pointer moves by long offsets (some compilers turn a negative int step
   into a step of 65535 forward at 16 bits). Nothing here calls a library
   or needs a helper routine of the compiler: no 32-bit multiply or divide,
   and no loop that a compiler could replace by a call of memset or memcpy.
   A 68000 traps on a word read at an odd address, and streams and archives
   may lie at any address: they are read a byte at a time, their 16-bit
   numbers as two volatile bytes, which no compiler may merge into one word
   read. */
#include "zkdecode.h"

/* The packed stream's header, 16 bytes; its two 16-bit fields are
   little-endian. The run table follows it, then the bit stream. */
#define ZK_ORIG_SIZE 0
#define ZK_MAGIC 2          /* "ZP" */
#define ZK_CSIZE 4
#define ZK_ESCAPE_CODE 6
#define ZK_ESCAPE_BITS 9    /* E, 0 to 8 */
#define ZK_GAMMA_BITS 10    /* G + 1, 6 to 8 */
#define ZK_GAMMA_TOP 11     /* 2^G */
#define ZK_EXTRA_BITS 12    /* X, 0 to 4 */
#define ZK_RUN_TABLE 15u    /* its length; entry t is the byte at 15 + t */
#define ZK_HEADER 16u

/* The archive from its magic on: the magic "zka\0", the count, then a
   16-byte record per entry (entry_offset, archive_size and 12 bytes not
   read), then the data area. Its numbers are big-endian. Records are
   found by shifts of 4, as a long multiplication can be a call of the
   compiler's support library. */
#define ZKA_COUNT 4
#define ZKA_RECORDS 6

/* The distance between two addresses, as a long: at 16 bits an int would
   not hold it. */
static unsigned long zk_span(const unsigned char *from, const unsigned char *to)
{
    return (unsigned long)to - (unsigned long)from;
}

/* The 16-bit number of two bytes, read one at a time: as volatile reads
   they cannot be merged into one word read, which a compiler may
   otherwise make of them (GCC 12 does, even for the 68000). */
static unsigned short zk_number(const unsigned char *high, const unsigned char *low)
{
    const volatile unsigned char *h = high, *l = low;
    return (unsigned short)(*h * 256u + *l);
}

/* "ZP" at offsets 2 and 3 of len bytes: what makes them a packed stream,
   and an archive entry packed rather than stored. */
static int zk_is_packed(const unsigned char *p, unsigned long len)
{
    return len >= 4 && zk_number(p + ZK_MAGIC, p + ZK_MAGIC + 1) == 0x5A50u;
}

/* The header and run table of the stream of len bytes at src are whole and
   its parameters in range. */
static int zk_header_ok(const unsigned char *src, unsigned long len)
{
    unsigned char gamma_bits;
    if (len < ZK_HEADER) return 0;
    gamma_bits = src[ZK_GAMMA_BITS];
    return src[ZK_ESCAPE_BITS] <= 8 && gamma_bits >= 6 && gamma_bits <= 8 &&
           src[ZK_GAMMA_TOP] == 1u << (gamma_bits - 1) && src[ZK_EXTRA_BITS] <= 4 &&
           ZK_HEADER + src[ZK_RUN_TABLE] <= len;
}

/* The bit reader: the stream's bits, most significant first. */
struct zk_bits {
    const unsigned char *next; /* the next byte to load into window */
    const unsigned char *end;  /* the end of the stream */
    unsigned long window;      /* the bits loaded and not yet read, the next in bit 31, zeros
                                  below (and whatever above, where a long is wider) */
    int count;                 /* how many there are; below 0 once bits past the end were read */
};

/* The next n bits, n from 0 to 8. Past the end of the stream they are
   zeros and count goes below 0: the decoder looks at that once a token,
   which is enough, as every token stays inside the output. */
static int zk_read(struct zk_bits *in, int n)
{
    int v;
    while (in->count <= 24 && in->next != in->end) {
        in->window |= (unsigned long)*in->next++ << (24 - in->count);
        in->count += 8;
    }
    v = (int)(in->window >> 24 & 0xFF) >> (8 - n);
    in->window <<= n;
    in->count -= n;
    return v;
}

/* A value of the truncated gamma code with limit g: i one-bits (at most g),
   a zero-bit when i < g, then the i bits below the value's leading one. */
static int zk_gamma(struct zk_bits *in, int g)
{
    int i = 0;
    while (i < g && zk_read(in, 1)) ++i;
    return 1 << i | zk_read(in, i);
}

/* Decodes the stream src..end, whose header is sound, into dst, which has
   room for its orig_size bytes. Each token comes down to at most one byte
   of its own (a literal, or a run's first byte) and a copy of len bytes
   from dist bytes back, plus delta (the rest of a run is a copy from 1
   back), so that one piece of code writes all the output. */
static int zk_decode(const unsigned char *src, const unsigned char *end, unsigned char *dst)
{
    struct zk_bits in;
    int E, G, X, gamma_max, esc;
    unsigned char *out = dst, *out_end;

    E = src[ZK_ESCAPE_BITS];
    G = src[ZK_GAMMA_BITS] - 1;
    X = src[ZK_EXTRA_BITS];
    gamma_max = (2 << G) - 1;
    esc = src[ZK_ESCAPE_CODE];
    out_end = dst + (long)zk_number(src + ZK_ORIG_SIZE + 1, src + ZK_ORIG_SIZE);
    in.next = src + ZK_HEADER + src[ZK_RUN_TABLE];
    in.end = end;
    in.window = 0;
    in.count = 0;
    while (in.count >= 0) {
        int L, h = 0, p, byte = -1, delta = 0;
        unsigned short len = 0;
        unsigned long dist = 1;
        char own = 1, last = 0;

        /* A literal is a byte whose top E bits p are not the escape code,
           or the escape code and a token that says so; either way the
           byte's low 8 - E bits follow. */
        p = zk_read(&in, E);
        if (!E || p == esc) {
            L = zk_gamma(&in, G);
            if (L == 1 && zk_read(&in, 1)) {
                if (!zk_read(&in, 1)) {  /* an escaped literal, and the next escape code */
                    p = esc;
                    esc = zk_read(&in, E);
                } else {  /* a run of len + 1 bytes */
                    len = (unsigned short)zk_gamma(&in, G);
                    if (len >= 1u << G) {
                        /* The long form: len, 8 - G bits and a gamma value
                           hi make (hi - 1) * 256 + (len - 2^G) * 2^(8-G) +
                           the bits, where len * 2^(8-G) is 256 + (len - 2^G)
                           * 2^(8-G). */
                        len = (unsigned short)(len << (8 - G) | zk_read(&in, 8 - G));
                        len = (unsigned short)(len + ((unsigned)zk_gamma(&in, G) + 254u) * 256u);
                    }
                    h = zk_gamma(&in, G);
                    if (h > 31) {
                        byte = (h << 3 | zk_read(&in, 3)) & 0xFF;
                    } else if (src + ZK_RUN_TABLE + h < end) {
                        byte = src[ZK_RUN_TABLE + h];  /* by index alone, even past the table */
                    } else {
                        return -3;
                    }
                }
            } else {
                if (L > 1) h = zk_gamma(&in, G);
                byte = 0;
                if (L > 1 && L <= 3 && h == gamma_max) {
                    /* The end marker. Its last bit is a one, so it lies
                       inside the stream, bits past the end being zeros.
                       The bytes not written are zeros: a zero, and copies
                       of it. */
                    if (out == out_end) return 0;
                    last = 1;
                    len = (unsigned short)(zk_span(out, out_end) - 1);
                } else {
                    /* a copy: short (L = 1), delta (h = gamma_max) or long */
                    own = 0;
                    dist = 0;
                    if (h == gamma_max) {
                        delta = zk_read(&in, 8);
                    } else if (L > 1) {
                        dist = (unsigned long)(h - 1) << X | (unsigned)zk_read(&in, X);
                    }
                    dist = (dist << 8 | (unsigned)(zk_read(&in, 8) ^ 0xFF)) + 1;
                    len = (unsigned short)(L + 1);
                }
            }
        }
        if (byte < 0) byte = (int)(((unsigned)p << (8 - E) | (unsigned)zk_read(&in, 8 - E)) & 0xFFu);
        if (own) {
            if (out == out_end) return -3;
            *out++ = (unsigned char)byte;
        }
        if (dist > zk_span(dst, out) || len > zk_span(out, out_end)) return -3;
        while (len) {
            *out = (unsigned char)(out[-(long)dist] + delta);
            ++out;
            --len;
        }
        if (last) return 0;
    }
    return -3;
}

int zk_unpack(const unsigned char *src, const unsigned char *src_end, unsigned char *dst, unsigned char *dst_end)
{
    const unsigned long avail = zk_span(src, src_end);
    unsigned short csize;
    if (!zk_is_packed(src, avail)) return -1;
    if (zk_number(src + ZK_ORIG_SIZE + 1, src + ZK_ORIG_SIZE) > zk_span(dst, dst_end)) return -2;
    if (avail < ZK_HEADER) return -3;
    csize = zk_number(src + ZK_CSIZE + 1, src + ZK_CSIZE);
    if (csize > avail || !zk_header_ok(src, csize)) return -3;
    return zk_decode(src, src + (long)csize, dst);
}

long zka_count(const unsigned char *arc, const unsigned char *arc_end)
{
    const unsigned long avail = zk_span(arc, arc_end);
    unsigned short count;
    if (avail < ZKA_RECORDS || zk_number(arc, arc + 1) != 0x7A6Bu || zk_number(arc + 2, arc + 3) != 0x6100u)
        return -1;  /* "zka\0" */
    count = zk_number(arc + ZKA_COUNT, arc + ZKA_COUNT + 1);
    /* zkunarchive takes the count as a signed 16-bit number: 32768 or more
       is negative, and no entry is below it */
    if (count >= 0x8000u) return 0;
    if (ZKA_RECORDS + ((unsigned long)count << 4) > avail) return -1;
    return count;
}

/* Entry index: its size once extracted, or a negative result. A packed
   entry's stream runs from *data to *stream_end, as long as its csize says
   but no further than the archive; a stored entry's *stream_end is 0. */
static long zka_find(const unsigned char *arc, const unsigned char *arc_end, long index,
                     const unsigned char **data, const unsigned char **stream_end)
{
    const unsigned long avail = zk_span(arc, arc_end);
    const long count = zka_count(arc, arc_end);
    const unsigned char *record;
    unsigned long start, rest, len;
    if (count < 0) return -1;
    if (index < 0 || index >= count) return -4;
    record = arc + ZKA_RECORDS + (index << 4);
    start = ZKA_RECORDS + ((unsigned long)count << 4) + zk_number(record, record + 1);
    if (start > avail) return -3;
    rest = avail - start;
    *data = arc + (long)start;
    if (zk_is_packed(*data, rest)) {
        if (rest < ZK_HEADER) return -3;
        len = zk_number(*data + ZK_CSIZE + 1, *data + ZK_CSIZE);
        if (len > rest) len = rest;
        if (!zk_header_ok(*data, len)) return -3;
        *stream_end = *data + (long)len;
        return zk_number(*data + ZK_ORIG_SIZE + 1, *data + ZK_ORIG_SIZE);
    }
    *stream_end = 0;
    len = zk_number(record + 2, record + 3);
    return len > rest ? -3 : (long)len;
}

long zka_size(const unsigned char *arc, const unsigned char *arc_end, long index)
{
    const unsigned char *data, *stream_end;
    return zka_find(arc, arc_end, index, &data, &stream_end);
}

long zka_extract(const unsigned char *arc, const unsigned char *arc_end, long index,
                 unsigned char *dst, unsigned char *dst_end)
{
    const unsigned char *data, *stream_end;
    const long size = zka_find(arc, arc_end, index, &data, &stream_end);
    long k;
    if (size < 0) return size;
    if ((unsigned long)size > zk_span(dst, dst_end)) return -2;
    if (stream_end) return zk_decode(data, stream_end, dst) ? -3 : size;
    /* Through a volatile pointer, which keeps a compiler from making the
       loop a call of memcpy. */
    for (k = 0; k < size; ++k) dst[k] = ((const volatile unsigned char *)data)[k];
    return size;
}
