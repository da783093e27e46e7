// What the jobs ask of the system beside files: processors, the descriptors a
// process may open, process ids, short pauses.
#pragma once

#include <cstddef>

// Processors online (1 at least).
unsigned OnlineProcessors();

// Descriptors the process may open beyond `reserved` (very many without a limit).
std::size_t SpareDescriptors(std::size_t reserved);

long CurrentProcessId();

// Whether the process pid is gone (a process of another user still runs; our
// own id is never gone).
bool ProcessGone(long pid);

// Sleeps about ms milliseconds (an interruption sleeps on).
void PauseMilliseconds(long ms);
