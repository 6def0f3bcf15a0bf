/* Tile Quest: the calculator side of the example build. Here it is only
   compiled, against a stub of the calculator library's header: the
   generated headers and the packed level are what the build makes. */
#include <tigcclib.h>

#include "hero.h"
#include "hero_mask.h"
#include "sine.h"
#include "sprites.h"
#include "zkdecode.h"

short _ti89, _ti92plus;

/* The packed stream of level 1, as zkpack -hto writes it. */
static const unsigned char level1_packed[] = {
#include "level1.hex"
};

#define LEVEL_W 16
#define LEVEL_H 12

static unsigned char level[LEVEL_W * LEVEL_H];

/* The part of the level that fits the TI-89's 160x100 screen. */
#define VIEW_W 10
#define VIEW_H 6

/* The hero in four greys over whatever lies behind him: on each plane his
   mask ORed, then XORed, clears his outline, and his own bits are ORed in. */
static void draw_hero(short x, short y, short frame)
{
    short i;
    for (i = 0; i < 2; i++) {
        void *plane = GetPlane(i);
        Sprite16(x, y, TILEHEIGHT_HERO_MASK, TILEADDR_HERO_MASK(frame), plane, SPRT_OR);
        Sprite16(x, y, TILEHEIGHT_HERO_MASK, TILEADDR_HERO_MASK(frame), plane, SPRT_XOR);
        Sprite16(x, y, TILEHEIGHT_HERO, TILEADDR_HERO(i, frame), plane, SPRT_OR);
    }
}

void _main(void)
{
    short x, y;
    if (zk_unpack(level1_packed, level1_packed + sizeof level1_packed, level, level + sizeof level) != 0)
        return;
    memset(LCD_MEM, 0, LCD_SIZE);
    for (y = 0; y < VIEW_H; y++)
        for (x = 0; x < VIEW_W; x++) {
            unsigned char tile = level[y * LEVEL_W + x];
            /* Walls and crates bob along the sine table's curve. */
            short bob = sine_table[(x * 8) & 63] >> 7;
            if (tile == 1 || tile == 2)
                Sprite16(x * 16, y * 16 + bob, TILEHEIGHT_SPR, TILEADDR_SPR(tile - 1), LCD_MEM, SPRT_OR);
        }
    ngetchx();

    /* The hero walks across the screen, his two frames in turn. */
    if (!GrayOn())
        return;
    for (x = 0; x < 144; x += 4) {
        memset(GetPlane(0), 0, LCD_SIZE);
        memset(GetPlane(1), 0, LCD_SIZE);
        draw_hero(x, 40, (x / 4) & 1);
    }
    ngetchx();
    GrayOff();
}
