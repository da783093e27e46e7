// Arguments and standard streams on Linux: as the process got them.
#include "platform/ProgramStart.h"

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return arguments;
}

void PrepareStandardStreams() {}
