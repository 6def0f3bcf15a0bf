/* A stub of the calculator library's header, with just what the example
   uses, so that the host compiler can check the program's C. It declares;
   it does not implement. */
#ifndef TIGCCLIB_STUB_H
#define TIGCCLIB_STUB_H

#define LCD_SIZE 3840
extern void *LCD_MEM;

enum SprtModes { SPRT_XOR, SPRT_OR, SPRT_AND };

void Sprite16(short x, short y, short height, const unsigned short *sprite, void *plane, short mode);
short GrayOn(void);
void GrayOff(void);
void *GetPlane(short plane);
void *memset(void *p, int c, unsigned long n);
short ngetchx(void);

extern short _ti89, _ti92plus;

#endif
