// The tests' entry point on Windows: standard output in binary mode, so that the
// test list CTest reads has plain line ends (the C runtime writes \r\n in text mode).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
