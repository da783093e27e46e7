// CCommandLineInfo and ParseCommandLine: the split of a command line into
// parameters that the program's command-line record is built on.
//
// ParseCommandLine hands each argument of argv[1..] to the record's ParseParam,
// in order.  An argument that begins with "/" or "-" arrives without that one
// character and with the flag set; any other argument arrives whole with the
// flag 0.  So "/Z:C" gives "Z:C" and "--help" gives "-help", both flagged.
//
// A lone "--" ends switch processing in the GNU manner: it is not passed on, and
// every later argument arrives whole with the flag 0 (a file named "-x" or a
// path such as "/tmp/x" can be given after it).  A record can also stop taking
// "/" as a switch mark on its own (SlashIsSwitch), since on Linux "/" also
// begins every absolute path.
#pragma once

#include "platform/Types.h"

#include <string>
#include <vector>

class CCommandLineInfo {
public:
    CCommandLineInfo() = default;
    virtual ~CCommandLineInfo();

    // Takes one parameter.  The base records it: bare ones in m_params,
    // flagged ones (text after the switch mark) in m_otherSwitches.
    virtual void ParseParam(const char* param, BOOL flag, BOOL last);

    // Asked before each argument: whether a leading "/" still marks a switch.
    // The default is always; a record that now expects file names says no.
    virtual BOOL SlashIsSwitch() const { return TRUE; }

    std::vector<std::string> m_params;          // bare parameters, in order
    std::vector<std::string> m_otherSwitches;   // flagged parameters the record did not take
};

// Feeds argv[1..argc-1] to info.ParseParam, the last one with last set.
void ParseCommandLine(int argc, char** argv, CCommandLineInfo& info);
