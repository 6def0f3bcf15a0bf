// A format library that tries to print: it must not build.
#include "frame.h"

int probe_prints()
{
    return zk::fail("ERROR: a library does not print\n");
}
