// The GNU-style options beside the switches: --help, --version, --test FILE...,
// --info FILE... and --method=lzw|lzss|huffman|stored.  The command-line record
// keeps them as written (without their "--"); this reads what they ask for.
//
// --help, --version, --test and --info do their work and run no job.
// --method chooses the method a compression (/Z:C) writes; LZW by default.
// --progress=window|terminal|none chooses where a job shows its progress
// (app/DisplayChoice.h).
// --quiet leaves only warnings and errors on stderr (no line per file, no
// summary, no OK lines of --test).  --dry-run says what a job would do and
// changes nothing.  --output-dir=DIR sends a history extraction's plain files
// to DIR.  --jobs=N converts N history files at once.  --cat FILE... writes the original bytes of each file to stdout.
#pragma once

#include "app/DisplayChoice.h"
#include "streams/CompressedFile.h"

#include <cstdio>
#include <string>
#include <vector>

struct COptions {
    bool m_bHelp = false;
    bool m_bVersion = false;
    bool m_bTest = false;
    bool m_bInfo = false;
    bool m_bCat = false;
    bool m_bQuiet = false;
    bool m_bDryRun = false;
    bool m_bKeep = false;   // --keep (-k): a compression deletes no plain file
    std::string m_strOutputDir;
    int m_nJobs = 0;   // --jobs=N: files a history job converts at once (0: one per online CPU)
    int m_nMethod = METHOD_LZW;
    ProgressRequest m_progress = ProgressRequest::Auto;
};

// Reads the options; false with a message for the first one that is unknown or
// has an unusable value (the run then ends with status 2).
bool ParseOptions(const std::vector<std::string>& options, COptions& parsed, std::string& message);

// Whether the option (its name, without "--") takes a value, which may follow
// it after "=" or as the next argument.
bool OptionTakesValue(const std::string& name);

// The known option closest to a mistyped name ("jbos" gives "jobs"), or ""
// when none is near.
std::string NearestOption(const std::string& name);

// The method a --method value names, or false for an unknown name.
bool MethodFromName(const std::string& name, int& method);

void PrintHelp(std::FILE* out);
void PrintShortUsage(std::FILE* out);
void PrintVersion(std::FILE* out);

// --info and --test over files, one line each on out; returns the exit status:
// 0 all intact (or readable), 1 any damaged or unreadable, 2 no files given.
// A folder stands for the history files in it (.hst and .hsz, in name order).
// "-" is standard input, in --test, --info and --cat.
// --test reports failures on stderr; --info ends with a totals line.
int RunFileChecks(const COptions& options, const std::vector<std::string>& files, std::FILE* out);

// The files a list names: each file as given, each folder replaced by the
// history files in it, sorted by name.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& files);

// --cat: the original bytes of each file to the descriptor out, which must not
// be a terminal (status 2); 1 when a file is damaged or unreadable (its message
// on stderr, the files after it still written), else 0.  A folder stands for
// its history files.  A reader that goes away (a closed pipe: `| head`) ends
// the run quietly with status 0, as zcat does.
int RunCat(const std::vector<std::string>& files, int out);
