// Basic integer types of the program's interfaces: BOOL results, UINT counts.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = std::uint32_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
