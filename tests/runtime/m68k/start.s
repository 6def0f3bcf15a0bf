| The test program's entry: Linux starts it with the stack set up and no
| C library to call main; zk_main returns only through the exit call.
	.text
	.globl	_start
_start:
	jsr	zk_main
	moveq	#1,%d0
	moveq	#7,%d1
	trap	#0
	.section	.note.GNU-stack,"",%progbits
