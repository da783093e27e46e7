// Splitting argv into flagged switches and bare parameters.
#include "platform/CommandLine.h"

#include <cstring>

CCommandLineInfo::~CCommandLineInfo() = default;

void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL /*last*/)
{
    (flag ? m_otherSwitches : m_params).emplace_back(param ? param : "");
}

void ParseCommandLine(int argc, char** argv, CCommandLineInfo& info)
{
    bool endOfSwitches = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        // "last" means the last argument of argv, also when an ending "--" is skipped.
        const BOOL last = (i == argc - 1);

        if (!endOfSwitches && std::strcmp(arg, "--") == 0) {
            endOfSwitches = true;
            continue;
        }
        const bool marked = arg[0] == '-' || (arg[0] == '/' && info.SlashIsSwitch());
        if (!endOfSwitches && marked)
            info.ParseParam(arg + 1, TRUE, last);
        else
            info.ParseParam(arg, FALSE, last);
    }
}
