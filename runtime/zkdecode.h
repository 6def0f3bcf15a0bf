/* zkdecode: the calculator side of zktools' packed streams and ZKArchives.
   Freestanding C for 68000 compilers with an int of 16 or 32 bits: no
   library calls, no allocation, no helper routines of the compiler.
   Add zkdecode.c to the program, or zkdecode.s for zk_unpack alone.
   See zkdecode(3). */
#ifndef ZKDECODE_H
#define ZKDECODE_H

/* Unpacks the packed stream at src, of which the caller has the bytes up
   to src_end, into dst, which has room up to dst_end. Returns 0 when it
   wrote the stream's orig_size bytes (those after an early end marker are
   zero), -1 when src holds no packed stream (fewer than 4 bytes, or no
   "ZP" at offsets 2 and 3), -2 when orig_size is more than dst_end - dst,
   -3 when the stream is corrupt. Reads nothing at or past src_end or past
   the stream's csize; writes nothing at or past dst + orig_size. */
int zk_unpack(const unsigned char *src, const unsigned char *src_end,
              unsigned char *dst, unsigned char *dst_end);

/* The ZKArchive at arc is the content of the archive variable, from its
   magic "zka\0" on, up to arc_end; the functions read nothing outside it. */

/* The number of entries, or -1 when arc holds no archive. */
long zka_count(const unsigned char *arc, const unsigned char *arc_end);

/* The size of entry index (from 0) once extracted, or -1 (no archive),
   -4 (no such entry) or -3 (a damaged record or stream header). */
long zka_size(const unsigned char *arc, const unsigned char *arc_end, long index);

/* Writes entry index to dst, unpacking it when it is packed, and returns
   the number of bytes written, or a negative value as zka_size does, -2
   when the entry needs more than dst_end - dst bytes, or -3 when its
   packed stream is corrupt. */
long zka_extract(const unsigned char *arc, const unsigned char *arc_end, long index,
                 unsigned char *dst, unsigned char *dst_end);

#endif
