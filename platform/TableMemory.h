// Memory for the coders' large tables: aligned for vector loads and, where the
// system grants them, on large pages, since the tables are read at random.
#pragma once

#include <cstddef>

// At least `size` bytes aligned to 64 or more; nullptr when there is no memory.
void* AllocTableMemory(std::size_t size);
// Frees what AllocTableMemory returned (nullptr is allowed).
void FreeTableMemory(void* p);

// The table blocks a thread keeps between streams (the LZW coders' last writer
// and reader tables), freed with FreeTableMemory when the thread ends; nullptr
// when the thread can keep none.  On Windows the end of a thread is seen through
// fiber-local storage: the C++ runtime there can free a thread_local object
// before its destructor runs.
struct ThreadTables {
    void* encode = nullptr;
    void* decode = nullptr;
};
ThreadTables* ThreadTableCache();
