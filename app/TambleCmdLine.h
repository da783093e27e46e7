// CTambleCmdLine: the job settings of one run, read from the command line.
//
// Switches (first letter decides, the character after it is not looked at):
//   /Z:C compress, /Z:E extract        -> m_nZipMode ZIP_MODE_COMPRESS / _EXTRACT
//   /T:N one named file, /T:A history  -> m_nFileType FILE_TYPE_NAMED / _HISTORY
//   /D:date /N:days /G:group           -> m_szStartDate, m_nNumber, m_nGroup
//   /S:source /R:target                -> m_szSource, m_szTarget (case kept)
//   /H                                 -> m_bHidden
// Letters and the date are taken in upper case; the paths of /S: and /R: keep
// the case they were given, since on Linux case tells files apart.  Nothing is
// ever rejected here: an unknown switch goes to the base record, and what the
// values mean is for the caller to judge.
//
// GNU-style options ("--help", "--method=lzw") are kept, without their "--",
// in m_options for the application to interpret.  Bare parameters are kept in
// order in m_params (the base record).  Once a "--test" or "--info" option has
// been seen (or "--cat"), a following argument that begins with "/" is a file
// path, not a switch, and a lone "-" is standard input.  An option that takes
// a value may have it after "=" or as the next argument ("--jobs 2" is kept as
// "jobs=2").  "-k" (or "/K") is gzip's --keep, kept as "keep".
//
// A switch that is ignored or read only in part (an unknown letter, a number
// followed by other characters, a group written in hexadecimal, a /Z: or /T:
// without a known letter) is still taken as described, and noted in
// m_warnings so that the caller can say how it was read.
#pragma once

#include "jobs/JobKind.h"
#include "platform/CommandLine.h"
#include "platform/Types.h"

#include <string>
#include <vector>

// A parameter that was ignored or read only in part: the text id of the
// warning, the parameter as given (with a "/" in front) and, for one read in
// part, the switch as it was taken ("/N:30").
struct CmdLineWarning {
    UINT textId = 0;
    std::string param;
    std::string readAs;
    bool decimalHint = false;   // a group given in hexadecimal
};

class CTambleCmdLine : public CCommandLineInfo {
public:
    CTambleCmdLine() = default;
    ~CTambleCmdLine() override;

    // The defaults of a run, as a freshly constructed record has them.
    void SetDefaults();

    void ParseParam(const char* param, BOOL flag, BOOL last) override;
    BOOL SlashIsSwitch() const override { return !m_bFileList && m_nValueFor < 0; }

    // True when m_options holds the option (text after "--", up to any "=").
    bool HasOption(const std::string& name) const;

    int m_nZipMode = ZIP_MODE_NONE;   // jobs/JobKind.h
    int m_nFileType = FILE_TYPE_NONE;
    int m_nNumber = 0;           // a number of days
    int m_nGroup = -1;           // history group; negative selects all groups
    std::string m_szStartDate;   // first day of a history extraction, month first
    std::string m_szSource;      // source file, or the history folder
    std::string m_szTarget;      // target file
    BOOL m_bHidden = FALSE;      // the progress display keeps itself hidden

    std::vector<std::string> m_options;       // GNU-style options, text after "--"
    std::vector<CmdLineWarning> m_warnings;   // parameters ignored or read in part, in order

private:
    bool ParseSwitch(const std::string& text);
    void Warn(UINT textId, const std::string& text, const std::string& readAs = {});

    bool m_bFileList = false;   // a --test/--info/--cat option asks for file names
    int m_nValueFor = -1;       // index in m_options of an option whose value is the next argument
};
