#include "AllocatorTuning.h"

#include <malloc.h>

void keepFreedPictureMemory()
{
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_ARENA_MAX, 2);
}

void giveBackFreedPictureMemory()
{
    malloc_trim(0);
}
