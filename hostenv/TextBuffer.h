// Copying a text into a fixed-size character buffer.
#pragma once

#include <cstddef>
#include <string_view>

// Copies as much of `text` as fits into `size` bytes with the terminating null;
// a cut never splits a UTF-8 sequence.  Returns the bytes copied.  Nothing is
// written when buffer is null or size is 0.
std::size_t CopyToBuffer(char* buffer, std::size_t size, std::string_view text);
