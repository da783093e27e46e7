#include "platform/TableMemory.h"

#include <windows.h>

#include <malloc.h>
#include <new>

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

namespace {

void WINAPI FreeKept(void* data)
{
    auto* kept = static_cast<ThreadTables*>(data);
    if (!kept)
        return;
    FreeTableMemory(kept->encode);
    FreeTableMemory(kept->decode);
    delete kept;
}

}   // namespace

ThreadTables* ThreadTableCache()
{
    // On the heap, named by a fiber-local slot whose callback runs as the thread
    // ends, after the C++ runtime's own thread-local storage may be gone.
    static const DWORD s_slot = ::FlsAlloc(FreeKept);
    if (s_slot == FLS_OUT_OF_INDEXES)
        return nullptr;
    auto* kept = static_cast<ThreadTables*>(::FlsGetValue(s_slot));
    if (!kept) {
        kept = new (std::nothrow) ThreadTables;
        if (kept && !::FlsSetValue(s_slot, kept)) {
            delete kept;
            kept = nullptr;
        }
    }
    return kept;
}
