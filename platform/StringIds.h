// Ids and English texts of every text the program shows.
//
// Adding a text is one line in TAMBLE_STRINGS: its id name, its number and its
// English text.  A language resource library may translate any of them; a text
// it does not have is shown in English.  Number ranges:
//   129..135     string table of the progress dialog
//   1001..1007   texts of dialog template 102, numbered by control id
//   2000..2999   messages of the conversion jobs
//   3000..3999   messages of the command line and the application
#pragma once

#include "platform/Types.h"

// Body of --help, after the headline (IDS_USAGE_HEADLINE).
#define TAMBLE_USAGE_TEXT                                                                \
    "       tamble --test FILE... | --info FILE... | --cat FILE...\n"                    \
    "       tamble --help | --version\n"                                                 \
    "\n"                                                                                 \
    "Jobs:\n"                                                                            \
    "  /Z:C /T:A /S:folder /N:days [/G:group]\n"                                         \
    "      compress the plain history files (.hst) dated more than days days ago into\n" \
    "      their compressed twins (.hsz) and delete them once each twin is proven\n"     \
    "  /Z:E /T:A /S:folder /D:MM/DD/YY /N:days [/G:group]\n"                             \
    "      extract the compressed history files of days dates from the start date\n"     \
    "      (also /D:YYYY-MM-DD)\n"                                                       \
    "  /Z:C /S:file /R:target   compress one file\n"                                     \
    "  /Z:E /S:file /R:target   extract one file\n"                                      \
    "  /G:group   only this group (a number; names show it in hexadecimal)\n"            \
    "  /H         no window; messages go to standard error\n"                            \
    "\n"                                                                                 \
    "Options:\n"                                                                         \
    "  --method=lzw|lzss|huffman|stored   method a compression writes (default lzw)\n"   \
    "  --progress=window|terminal|none    where a job shows its progress: the window\n"  \
    "      when an X display opens, else a live display on a terminal, else a line\n"    \
    "      per file; none shows messages only (/H never opens a window)\n"               \
    "  --dry-run        say file by file what the job would do; change nothing\n"        \
    "  --keep, -k       a compression keeps its plain files (twins made and proven)\n"   \
    "  --output-dir=DIR a history extraction writes its plain files to DIR\n"            \
    "  --jobs=N         a history job converts N files at once (default: one per CPU)\n" \
    "  --quiet          only warnings and errors: no line per file, no summary\n"        \
    "  --test FILE...   decode each file completely and say whether it is intact\n"      \
    "  --info FILE...   method, original and compressed size, ratio, and totals\n"       \
    "      (a folder stands for the history files in it, - for standard input)\n"        \
    "  --cat FILE...    write the original bytes of each file to standard output\n"      \
    "  --               ends the switches: later arguments are file names\n"             \
    "  --help, --version   (-h is the switch /H)\n"                                      \
    "An option's value follows \"=\" or a space: --jobs=2 or --jobs 2.\n"                \
    "\n"                                                                                 \
    "Exit status: 0 all done, 1 a conversion failed or the job stopped on an error,\n"   \
    "2 no job or an unusable value.\n"

#define TAMBLE_STRINGS(X)                                                                                            \
    X(IDS_WAIT_COMPRESS_HISTORY, 129, "Please wait while the history files are compressed.")                         \
    X(IDS_WAIT_EXTRACT_HISTORY, 130, "Please wait while the history files are extracted.")                           \
    X(IDS_WAIT_COMPRESS_FILE, 131, "Pleae wait while the files are compressed.")                                     \
    X(IDS_WAIT_EXTRACT_FILE, 132, "Please wait while the files are extracted.")                                      \
    X(IDS_SOURCE_LABEL, 133, "Source File:")                                                                         \
    X(IDS_TARGET_LABEL, 134, "Target File:")                                                                         \
    X(IDS_OVERALL_LABEL, 135, "Overall:")                                                                            \
    X(IDT_MESSAGE, 1001, "Please wait while the history files are compressed")                                       \
    X(IDT_SOURCE_LABEL, 1002, "Source File:")                                                                        \
    X(IDT_TARGET_LABEL, 1003, "Target File:")                                                                        \
    X(IDT_SOURCE_NAME, 1004, "...")                                                                                  \
    X(IDT_TARGET_NAME, 1005, "...")                                                                                  \
    X(IDT_OVERALL_LABEL, 1007, "Overall:")                                                                           \
    X(IDS_ERR_OPEN_FILE, 2002, "Couldn't open file!")                                                                \
    X(IDS_ERR_CREATE, 2003, "Couldn't create!")                                                                      \
    X(IDS_ERR_DAMAGED, 2004, "The file is damaged!")                                                                 \
    X(IDS_ERR_READ, 2005, "Couldn't read file!")                                                                     \
    X(IDS_ERR_WRITE, 2006, "Couldn't write file!")                                                                   \
    X(IDS_ERR_NOT_REGULAR, 2007, "Not a regular file, passed over!")                                                 \
    X(IDS_ERR_TWIN_DIFFERS, 2008, "The compressed twin does not hold the same bytes, both files kept!")              \
    X(IDS_ERR_TWIN_FAILED, 2009, "The new compressed file failed its check, the plain file is kept!")                \
    X(IDS_ERR_DELETE, 2010, "Couldn't delete file!")                                                                 \
    X(IDS_ERR_NAME_DATE_RANGE, 2011, "Date out of range in the file name, passed over!")                             \
    X(IDS_ERR_NAME_DATE_CONVERT, 2012, "The date in the file name cannot be converted, passed over!")                \
    X(IDS_ERR_START_DATE_RANGE, 2013, "Start date out of range!")                                                    \
    X(IDS_ERR_START_DATE_CONVERT, 2014, "The start date cannot be converted!")                                       \
    X(IDS_ERR_READ_FOLDER, 2015, "Couldn't read folder!")                                                            \
    X(IDS_ERR_NO_JOB, 2016, "No job given (/Z:C or /Z:E)!")                                                          \
    X(IDS_ERR_NO_FOLDER, 2017, "No history folder given (/S:)!")                                                     \
    X(IDS_ERR_NO_DAYS, 2018, "No number of days given (/N:)!")                                                       \
    X(IDS_ERR_NEGATIVE_DAYS, 2019, "The number of days must not be negative for an extraction!")                     \
    X(IDS_ERR_BAD_START_DATE, 2020, "The start date (/D:) must be given as MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD!")     \
    X(IDS_ERR_FOLDER_IN_USE, 2021, "Another tamble run is working in this folder, nothing done!")                    \
    X(IDS_ERR_PLAIN_CHANGED, 2022, "The plain file changed while it was compressed, it is kept!")                    \
    X(IDS_ERR_TEMP_LEFT, 2023, "Couldn't delete the temporary file!")                                                \
    X(IDS_ERR_NO_SOURCE, 2024, "No source file given (/S:)!")                                                        \
    X(IDS_ERR_NO_TARGET, 2025, "No target file given (/R:)!")                                                        \
    X(IDS_ERR_OUTPUT_DIR_JOB, 2026, "--output-dir is for a history extraction (/Z:E /T:A) only!")                    \
    X(IDS_CAUSE_MONTH, 2051, "the month is not 01 to 12")                                                            \
    X(IDS_CAUSE_DAY, 2052, "the day is not 01 to 31")                                                                \
    X(IDS_CAUSE_YEAR, 2053, "the year is not 1970 to 3000")                                                          \
    X(IDS_CAUSE_ERROR, 2054, "error")                                                                                \
    X(IDS_CAUSE_WAITED, 2055, "waited {0} s for the other run")                                                      \
    X(IDS_CAUSE_NOT_SEPARATE, 2056, "{0} is not a separate regular file")                                            \
    X(IDS_CAUSE_TWIN_REMOVED, 2057, "{0} removed")                                                                   \
    X(IDS_CAUSE_TWIN_KEPT, 2058, "{0} kept")                                                                         \
    X(IDS_CAUSE_BYTE, 2059, "{0} byte")                                                                              \
    X(IDS_CAUSE_BYTES, 2060, "{0} bytes")                                                                            \
    X(IDS_CAUSE_SHORTER_THAN_HEADER, 2061, "shorter than its 16-byte header ({0})")                                  \
    X(IDS_CAUSE_ENDS_EARLY, 2062, "ends {0} early")                                                                  \
    X(IDS_CAUSE_NOT_REGULAR, 2063, "not a regular file")                                                             \
    X(IDS_CAUSE_DAMAGED_MAGIC, 2064, "not a known method: damaged magic")                                            \
    X(IDS_CAUSE_HEADER_UNSTABLE, 2065, "its header could not be read the same way twice")                            \
    X(IDS_CAUSE_BAD_CODE, 2066, "damaged (a code that no writer makes) after {0}")                                   \
    X(IDS_CAUSE_CUT_SHORT, 2067, "cut short: {0} of {1}")                                                            \
    X(IDS_CAUSE_CODES_RUN_OUT, 2068, "its coded data runs out after {0} of the {1} its header gives")                \
    X(IDS_CAUSE_DATA_ENDS, 2069, "its data ends after {0} of the {1} its header gives")                              \
    X(IDS_CAUSE_DATA_GOES_ON, 2070, "data goes on past the {0} its header gives")                                    \
    X(IDS_CAUSE_END_CODE_CUT, 2071, "its end code is cut off")                                                       \
    X(IDS_CAUSE_CODED_SIZE, 2072, "its header gives {0} of coded data, it has {1}")                                  \
    X(IDS_CAUSE_TRAILING, 2073, "{0} after the coded data")                                                          \
    X(IDS_CAUSE_SIZES_DIFFER, 2074, "it holds {0} bytes, the plain file {1}")                                        \
    X(IDS_CAUSE_CONTENT_DIFFERS, 2075, "its content differs within bytes {0} to {1}")                                \
    X(IDS_CAUSE_PLAIN_GREW, 2076, "the plain file grew while it was compared")                                       \
    X(IDS_CAUSE_FOLDER_OPEN_SYNC, 2077, "cannot open the folder to sync it: {0}")                                    \
    X(IDS_CAUSE_FOLDER_SYNC, 2078, "sync of the folder failed: {0}")                                                 \
    X(IDS_CAUSE_ACL_READ, 2079, "cannot read its access list: {0}")                                                  \
    X(IDS_CAUSE_ACL_SET, 2080, "cannot set the access list: {0}")                                                    \
    X(IDS_CAUSE_ACL_REMOVE, 2081, "cannot remove the inherited access list: {0}")                                    \
    X(IDS_CAUSE_MODE_SET, 2082, "cannot set the permissions: {0}")                                                   \
    X(IDS_CAUSE_TIME_SET, 2083, "cannot set the modification time: {0}")                                             \
    X(IDS_CAUSE_TARGET_APPEARED, 2084, "the target appeared meanwhile")                                              \
    X(IDS_CAUSE_SYNC, 2085, "sync failed: {0}")                                                                      \
    X(IDS_CAUSE_TEMP_REPLACED, 2086, "the temporary file {0} was replaced")                                          \
    X(IDS_CAUSE_DATA_COMPLETE_IN, 2087, "{0}; its data is complete in {1}")                                          \
    X(IDS_CAUSE_KEPT_AS, 2088, "kept as {0}: {1}")                                                                   \
    X(IDS_ERR_IN_USE, 2027, "The plain file is in use by another program, it is kept for a later run!")              \
    X(IDS_LOG_COMPRESSED, 2101, "Compressed:")                                                                       \
    X(IDS_LOG_EXTRACTED, 2102, "Extracted:")                                                                         \
    X(IDS_LOG_PLAIN_DELETED, 2103, "Deleted, its compressed twin holds the same bytes:")                             \
    X(IDS_LOG_TARGET_EXISTS, 2104, "Passed over, the target exists:")                                                \
    X(IDS_LOG_WAIT_FOLDER, 2105, "Waiting for another tamble run to finish in:")                                     \
    X(IDS_LOG_STALE_TEMP, 2106, "Removed a temporary file left by an interrupted run:")                              \
    X(IDS_DRY_COMPRESS, 2201, "Would compress:")                                                                     \
    X(IDS_DRY_EXTRACT, 2202, "Would extract:")                                                                       \
    X(IDS_DRY_DELETE, 2203, "Would delete, its compressed twin holds the same bytes:")                               \
    X(IDS_DRY_TOO_YOUNG, 2204, "Would pass over, too young:")                                                        \
    X(IDS_DRY_TARGET_EXISTS, 2205, "Would pass over, the target exists:")                                            \
    X(IDS_DRY_OTHER_NAME, 2206, "Would pass over, not a history file name:")                                         \
    X(IDS_SUMMARY, 2301, "Done: {0} compressed, {1} passed over{7}, {2} failed; {3} before, {4} after{5}; {6} s")    \
    X(IDS_SUMMARY_DRY, 2302,                                                                                         \
      "Dry run, nothing changed: {0} would be compressed, {1} passed over{7}, {2} failed; {6} s")                    \
    X(IDS_DONE_EXTRACTED, 2303, "Done: {0} extracted, {1} passed over{7}, {2} failed; {4} written, {3} read; {6} s") \
    X(IDS_SUMMARY_DRY_EXTRACT, 2304,                                                                                 \
      "Dry run, nothing changed: {0} would be extracted, {1} passed over{7}, {2} failed; {6} s")                     \
    X(IDS_SUMMARY_SAVED, 2305, " ({0} saved)")                                                                       \
    X(IDS_SUMMARY_BAD_NAMES, 2306, " ({0} with a bad date in the name)")                                             \
    X(IDS_COUNT_FILE, 2307, "{0} file")                                                                              \
    X(IDS_COUNT_FILES, 2308, "{0} files")                                                                            \
    X(IDS_COUNT_DAY, 2309, "{0} day")                                                                                \
    X(IDS_COUNT_DAYS, 2310, "{0} days")                                                                              \
    X(IDS_DECIMAL_POINT, 2311, ".")                                                                                  \
    X(IDS_PERCENT, 2312, "{0}%")                                                                                     \
    X(IDS_LOG_DATE_WINDOW, 2108, "Dates taken:")                                                                     \
    X(IDS_DATE_WINDOW, 2313, "{0} to {1} ({2} from {3})")                                                            \
    X(IDS_DRY_COMPRESS_DELETE, 2207, "Would compress, then delete the plain file once its twin is proven:")          \
    X(IDS_LOG_TWIN_EXISTS_KEPT, 2109, "Passed over, its compressed twin exists (--keep):")                           \
    X(IDS_LOG_RESTORED, 2107, "Put back a plain file that an interrupted run had set aside:")                        \
    X(IDS_CAUSE_NAME_REPLACED, 2401, "the name now leads to another file")                                           \
    X(IDS_WARN_NO_LEASE, 2402,                                                                                       \
      "Warning: {0} plain files deleted without a write lease (a program holding one open could not be seen):")      \
    X(IDS_USAGE_HEADLINE, 3001, "Usage: tamble [switches]")                                                          \
    X(IDS_USAGE_TEXT, 3002, TAMBLE_USAGE_TEXT)                                                                       \
    X(IDS_USAGE_MORE, 3003, "Try 'tamble --help' for more information.")                                             \
    X(IDS_ERR_UNKNOWN_OPTION, 3004, "Unknown option!")                                                               \
    X(IDS_ERR_BAD_METHOD, 3005, "Unknown method, use lzw, lzss, huffman or stored!")                                 \
    X(IDS_ERR_NO_FILES, 3006, "No files given!")                                                                     \
    X(IDS_TEST_OK, 3007, "OK")                                                                                       \
    X(IDS_TEST_DAMAGED, 3008, "damaged")                                                                             \
    X(IDS_TEST_UNREADABLE, 3009, "cannot be read")                                                                   \
    X(IDS_ERR_BAD_PROGRESS, 3010, "Unknown progress display, use window, terminal or none!")                         \
    X(IDS_ERR_NO_DISPLAY, 3011, "No window, the X display cannot be opened:")                                        \
    X(IDS_WARN_UNKNOWN_SWITCH, 3012, "Warning: unknown switch, ignored:")                                            \
    X(IDS_WARN_PARTLY_READ, 3013, "Warning: switch read only in part:")                                              \
    X(IDS_WARN_NO_VALUE, 3014, "Warning: switch without a known value, ignored:")                                    \
    X(IDS_WARN_PARAM_IGNORED, 3015, "Warning: parameter ignored:")                                                   \
    X(IDS_WARN_TAKEN_AS, 3016, "taken as")                                                                           \
    X(IDS_WARN_GROUP_DECIMAL, 3017, "groups are decimal numbers")                                                    \
    X(IDS_ERR_CAT_TERMINAL, 3018, "--cat writes binary data, standard output must not be a terminal!")               \
    X(IDS_ERR_BAD_OUTPUT_DIR, 3020, "No folder given for --output-dir!")                                             \
    X(IDS_INFO_LINE, 3021, "{0}: method {1}, original {2}, compressed {3}{4}")                                       \
    X(IDS_ERR_BAD_JOBS, 3022, "--jobs takes a number of files from 1 to 256!")                                       \
    X(IDS_INFO_TOTAL, 3019, "Total: {0}, original {1}, compressed {2}{3}")                                           \
    X(IDS_ERR_NO_WINDOW_MODULE, 3040, "No window, the window module cannot be loaded:")                              \
    X(IDS_CAUSE_MODULE_UNLOADABLE, 3041, "cannot be loaded")                                                         \
    X(IDS_CAUSE_MODULE_VERSION, 3042, "not a window module of this version")                                         \
    X(IDS_WARN_SETTINGS_REFUSED, 3043, "Warning: settings file not read, taken as absent:")                          \
    X(IDS_WARN_LANGUAGE_REFUSED, 3044, "Warning: language library not loaded, English is used:")                     \
    X(IDS_CAUSE_DID_YOU_MEAN, 3045, "did you mean {0}?")                                                             \
    X(IDS_WARN_DATE_DIGITS, 3047, "Warning: the start date has digits where its separators go:")                     \
    X(IDS_STDIN_NAME, 3046, "(standard input)")

enum StringId : UINT {
#define TAMBLE_STRING_ID(name, number, text) name = number,
    TAMBLE_STRINGS(TAMBLE_STRING_ID)
#undef TAMBLE_STRING_ID
};

// The program's own English text of an id, or null for an unknown id.
const char* EnglishString(UINT id);
