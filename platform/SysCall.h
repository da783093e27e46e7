// The two ways every system call of the program is made whole: repeated when a
// signal interrupted it, and (for writes) repeated until every byte is written.
#pragma once

#include <cerrno>
#include <cstddef>

// Calls call() again while it fails (a negative result) with EINTR; returns its
// last result, errno as that call left it.  An interruption is never a failure.
template <class Call>
auto RetryEintr(Call call)
{
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

// Writes all size bytes to fd, through partial writes and interruptions; false
// with errno set when it cannot (a write that takes nothing counts as ENOSPC).
bool WriteAll(int fd, const void* data, std::size_t size);

#include <string>

// Standard input as a path a reader can open: /dev/stdin when it is a regular
// file, else (a pipe, a terminal) its bytes copied into an anonymous file in
// memory, named by its descriptor.  "" with the cause when that fails.
std::string StandardInputAsFile(std::string& cause);

// Ends the process by SIGPIPE, as a program that did not ignore it ends when
// the reader of its output went away; returns only when the signal is blocked.
void EndByBrokenPipe();
