| zkdecode.s: zk_unpack for the 68000, in GNU as syntax, for programs that
| count every byte; see zkdecode.h and zkdecode(3). It answers as the C
| zk_unpack does, with the same arguments, and links in its place:
|
|   int zk_unpack(const unsigned char *src, const unsigned char *src_end,
|                 unsigned char *dst, unsigned char *dst_end);
|
| The arguments are on the stack, as GCC passes them on the 68000 (all four
| are pointers, so callers with an int of 16 or 32 bits agree); the result
| is in all 32 bits of d0, so either kind of caller reads it right. d0-d1
| and a0-a1 are changed, every other register is kept. Every read of the
| stream and every write of the output is of one byte: both may lie at
| odd addresses, where a 68000 refuses a word.
|
| While it decodes:
|   a0  the next byte of the stream, a1 its end (src + csize); a token that
|       needs a bit past the end makes the stream corrupt there and then
|   a2  the next byte of the output, a3 its end (dst + orig_size)
|   a4  8 - E
|   a5  the stack pointer once the registers are saved: src and dst lie 48
|       and 56 bytes above it, and a corrupt stream returns from it
|   a6  the length of a copy
|   d7  the bits loaded and not yet read, the next one highest; there
|       are d6 of them, fewer than 16
|   d5  the escape code, d4 E, d3 G (and X in its high word); d2 minus
|       a copy's distance

	.text
	.globl	zk_unpack
	.even
zk_unpack:
	movem.l	%d2-%d7/%a2-%a6,-(%sp)
	movea.l	%sp,%a5
	movem.l	48(%a5),%a0-%a3		| src, src_end, dst, dst_end
	moveq	#-1,%d0
	move.l	%a1,%d1
	sub.l	%a0,%d1			| the bytes at src
	moveq	#3,%d2
	cmp.l	%d1,%d2
	jcc	.Lreturn		| fewer than 4: no stream
	cmpi.b	#'Z',2(%a0)
	jne	.Lreturn
	cmpi.b	#'P',3(%a0)
	jne	.Lreturn
	subq.l	#1,%d0			| -2
	moveq	#0,%d2
	move.b	1(%a0),%d2
	lsl.w	#8,%d2
	move.b	(%a0),%d2		| orig_size, little-endian
	lea	(%a2,%d2.l),%a4
	cmpa.l	%a3,%a4
	jhi	.Lreturn		| more than the room at dst
	movea.l	%a4,%a3
	subq.l	#1,%d0			| -3
	moveq	#15,%d2
	cmp.l	%d1,%d2
	jcc	.Lreturn		| fewer than 16 bytes
	moveq	#0,%d2
	move.b	5(%a0),%d2
	lsl.w	#8,%d2
	move.b	4(%a0),%d2		| csize
	cmp.l	%d2,%d1
	jcs	.Lreturn		| past src_end
	moveq	#15,%d3
	cmp.l	%d2,%d3
	jcc	.Lreturn		| shorter than its header
	jra	.Lfields
.Loverrun:
	movea.l	%a5,%sp
.Lcorrupt:
	moveq	#-3,%d0
.Lreturn:
	movem.l	(%sp)+,%d2-%d7/%a2-%a6
	rts
.Lfields:				| the header's other fields
	lea	(%a0,%d2.l),%a1
	moveq	#8,%d2
	moveq	#0,%d4
	move.b	9(%a0),%d4		| E
	cmp.b	%d4,%d2
	jcs	.Lreturn
	sub.w	%d4,%d2			| 8 - E
	moveq	#0,%d3
	move.b	10(%a0),%d3
	subq.b	#6,%d3
	moveq	#2,%d1
	cmp.b	%d3,%d1
	jcs	.Lreturn		| G + 1 outside 6 to 8
	addq.b	#5,%d3			| G
	moveq	#1,%d1
	lsl.b	%d3,%d1
	cmp.b	11(%a0),%d1
	jne	.Lreturn		| not 2^G
	movea.w	%d2,%a4
	swap	%d3
	move.b	12(%a0),%d3		| X
	cmpi.b	#4,%d3
	jhi	.Lreturn
	swap	%d3
	moveq	#0,%d5
	tst.b	%d4
	jeq	1f
	move.b	6(%a0),%d5		| the escape code; 0 without escape bits, so that every token escapes
1:	moveq	#0,%d2
	move.b	15(%a0),%d2
	lea	16(%a0,%d2.w),%a0	| the bit stream, after the run table; when
	moveq	#0,%d6			| that passes csize, the first bit is past a1
	moveq	#0,%d7

| A token: its first E bits, the escape code or the top of a literal.
.Ltoken:
	move.w	%d4,%d1
	jbsr	.Lbits
	cmp.b	%d5,%d0
	jeq	.Lescape
| A literal: d0.b holds the byte's top E bits, its low 8 - E bits follow.
.Lliteral:
	move.w	%a4,%d1
	move.b	%d0,%d2
	lsl.b	%d1,%d2
	jbsr	.Lbits
	or.b	%d2,%d0
	cmpa.l	%a3,%a2
	jcc	.Lcorrupt
	move.b	%d0,(%a2)+
	jra	.Ltoken

.Lrun:					| a run: n, then the byte, written n + 1 times
	jbsr	.Lgamma
	move.l	%d0,%d2
	btst	%d3,%d2
	jeq	1f
	moveq	#8,%d1			| the long form: n = a << (8 - G) | 8 - G bits, + (hi - 2) << 8
	sub.w	%d3,%d1
	lsl.w	%d1,%d2
	jbsr	.Lbits
	or.b	%d0,%d2
	jbsr	.Lgamma
	subq.b	#2,%d0
	lsl.w	#8,%d0
	add.w	%d0,%d2
1:	jbsr	.Lgamma			| t
	cmpi.b	#31,%d0
	jhi	2f
	movea.l	48(%a5),%a6		| run table entry t, the byte at src + 15 + t, by index alone
	lea	15(%a6,%d0.w),%a6
	cmpa.l	%a1,%a6
	jcc	.Lcorrupt		| past the stream
	move.b	(%a6),%d0
	jra	3f
2:	lsl.b	#3,%d0			| 8 t, and 3 more bits
	move.b	%d0,-(%sp)
	moveq	#3,%d1
	jbsr	.Lbits
	or.b	(%sp)+,%d0
3:	movea.l	%d2,%a6
	moveq	#-1,%d2
	moveq	#0,%d1
	cmpa.l	%a3,%a2
	jcc	.Lcorrupt
	move.b	%d0,(%a2)+
	jra	.Lcopy

.Lescape:
	jbsr	.Lgamma			| L
	movea.l	%d0,%a6
	addq.w	#1,%a6			| L + 1: a copy's length
	moveq	#0,%d2			| P, 0 for short and delta copies
	subq.b	#1,%d0
	jne	.Llong
	jbsr	.Lbit
	jeq	.Loffset		| 0: a short copy
	jbsr	.Lbit
	jne	.Lrun			| 11: a run
	move.w	%d4,%d1			| 10: an escaped literal, and the next escape code
	jbsr	.Lbits
	exg	%d0,%d5
	jra	.Lliteral

| The next d1.w bits, 0 to 8, in d0.
.Lbits:
	cmp.w	%d1,%d6
	jge	1f
	jbsr	.Lload
1:	sub.w	%d1,%d6
	move.l	%d7,%d0
	lsr.l	%d6,%d0
	lsl.l	%d6,%d0
	sub.l	%d0,%d7
	lsr.l	%d6,%d0
	rts

| A gamma value with limit G, in d0.b: i one-bits (at most G), a zero-bit
| when i < G, then the i bits below its leading one.
.Lgamma:
	moveq	#0,%d1
1:	cmp.w	%d3,%d1
	jeq	2f
	jbsr	.Lbit
	jeq	2f
	addq.w	#1,%d1
	jra	1b
2:	jbsr	.Lbits
	bset	%d1,%d0
	rts

| The next bit: the Z flag clear when it is 1.
.Lbit:
	subq.w	#1,%d6
	jpl	1f
	jbsr	.Lload
1:	bclr	%d6,%d7
	rts

| Eight more bits, the next byte of the stream.
.Lload:
	cmpa.l	%a1,%a0
	jcc	.Loverrun
	lsl.w	#8,%d7
	move.b	(%a0)+,%d7
	addq.w	#8,%d6
	rts

.Llong:					| a long copy, a delta copy or the end marker
	jbsr	.Lgamma			| h
	moveq	#2,%d1
	lsl.w	%d3,%d1
	subq.w	#1,%d1
	cmp.b	%d1,%d0
	jne	.Lfar			| below gamma_max: a long copy
	cmpa.w	#5,%a6
	jcs	.Lend			| L of 2 or 3: the end marker
	moveq	#8,%d1			| a delta copy: the delta, distance 1 to 256
	jbsr	.Lbits
	move.b	%d0,%d2
	jbsr	.Lbits			| o
	move.b	%d2,%d1			| the delta
	moveq	#0,%d2
	jra	.Ldistance
.Lfar:					| P = (h - 1) << X | the X bits
	move.l	%d0,%d2
	subq.w	#1,%d2
	move.l	%d3,%d1
	swap	%d1			| X
	lsl.w	%d1,%d2
	jbsr	.Lbits
	or.b	%d0,%d2
.Loffset:				| the distance's low byte o
	moveq	#8,%d1
	jbsr	.Lbits
	moveq	#0,%d1			| no delta
.Ldistance:				| the distance: P * 256 + (o ^ 0xFF) + 1, or (P + 1) * 256 - o
	addq.l	#1,%d2
	lsl.l	#8,%d2
	sub.l	%d2,%d0
	move.l	%d0,%d2
| Copies a6 bytes from -d2 bytes back, adding d1.b to each.
.Lcopy:
	move.l	%a2,%d0
	sub.l	56(%a5),%d0		| dst
	add.l	%d2,%d0
	jmi	.Lcorrupt		| before the output's start
	adda.l	%a2,%a6
	cmpa.l	%a3,%a6
	jhi	.Lcorrupt		| past its end
	jra	2f
1:	move.b	(%a2,%d2.l),(%a2)
	add.b	%d1,(%a2)+
2:	cmpa.l	%a6,%a2
	jcs	1b
	jra	.Ltoken

.Lend:					| the end marker; the bytes not written are zeros
	moveq	#0,%d0
1:	cmpa.l	%a3,%a2
	jcc	.Lreturn
	move.b	%d0,(%a2)+
	jra	1b

	.section	.note.GNU-stack,"",%progbits
