// Arguments from the UTF-16 command line, standard streams from the parent's
// console where the caller handed none.
#include "platform/ProgramStart.h"

#include "platform/win32/HostApi.h"

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    std::vector<std::string> arguments = hostapi::CommandLineArguments();
    if (arguments.empty())
        for (int i = 0; i < argc; ++i)
            arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return arguments;
}

void PrepareStandardStreams()
{
    hostapi::AttachParentConsole();
}
