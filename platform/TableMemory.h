// Memory for the coders' large tables: aligned for vector loads and, where the
// system grants them, on large pages, since the tables are read at random.
#pragma once

#include <cstddef>

// At least `size` bytes aligned to 64 or more; nullptr when there is no memory.
void* AllocTableMemory(std::size_t size);
// Frees what AllocTableMemory returned (nullptr is allowed).
void FreeTableMemory(void* p);
