#include "platform/TableMemory.h"

#include <cstdlib>
#include <sys/mman.h>

// On 2 MB pages the tables need no TLB misses.
void* AllocTableMemory(std::size_t size)
{
    constexpr std::size_t HUGE_PAGE = std::size_t {2} << 20;
    size = (size + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    void* p = std::aligned_alloc(HUGE_PAGE, size);
    if (p)
        madvise(p, size, MADV_HUGEPAGE);   // a refusal only costs speed
    return p;
}

void FreeTableMemory(void* p)
{
    std::free(p);
}

namespace {

struct KeptTables : ThreadTables {
    ~KeptTables()
    {
        FreeTableMemory(encode);
        FreeTableMemory(decode);
    }
};
thread_local KeptTables t_kept;

}   // namespace

ThreadTables* ThreadTableCache()
{
    return &t_kept;
}
