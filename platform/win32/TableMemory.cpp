#include "platform/TableMemory.h"

#include <malloc.h>

// The C runtime of Windows has no aligned_alloc; large pages need a privilege a
// user rarely holds, so the tables take page-aligned ordinary memory.
void* AllocTableMemory(std::size_t size)
{
    constexpr std::size_t PAGE = 4096;
    return _aligned_malloc(size, PAGE);
}

void FreeTableMemory(void* p)
{
    _aligned_free(p);
}
