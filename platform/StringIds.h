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
#define TAMBLE_USAGE_TEXT                                                                  \
    "       tamble --test FILE... | --info FILE... | --help | --version\n"                 \
    "\n"                                                                                  \
    "Jobs:\n"                                                                             \
    "  /Z:C /T:A /S:folder /N:days [/G:group]\n"                                          \
    "      compress the plain history files (.hst) dated more than days days ago into\n"  \
    "      their compressed twins (.hsz) and delete them once each twin is proven\n"      \
    "  /Z:E /T:A /S:folder /D:MM/DD/YY /N:days [/G:group]\n"                              \
    "      extract the compressed history files of days dates from the start date\n"      \
    "  /Z:C /S:file /R:target   compress one file\n"                                      \
    "  /Z:E /S:file /R:target   extract one file\n"                                       \
    "  /G:group   only this group (a number; names show it in hexadecimal)\n"             \
    "  /H         no window; messages go to standard error\n"                             \
    "\n"                                                                                  \
    "Options:\n"                                                                          \
    "  --method=lzw|lzss|huffman|stored   method a compression writes (default lzw)\n"    \
    "  --progress=window|terminal|none    where a job shows its progress: the window\n"   \
    "      when an X display opens, else a live display on a terminal, else a line\n"     \
    "      per file; none shows messages only (/H never opens a window)\n"               \
    "  --test FILE...   decode each file completely and say whether it is intact\n"      \
    "  --info FILE...   method, original and compressed size, ratio\n"                   \
    "  --help, --version\n"                                                               \
    "\n"                                                                                  \
    "Exit status: 0 all done, 1 a conversion failed or the job stopped on an error,\n"   \
    "2 no job or an unusable value.\n"

#define TAMBLE_STRINGS(X)                                                                  \
    X(IDS_WAIT_COMPRESS_HISTORY, 129, "Please wait while the history files are compressed.") \
    X(IDS_WAIT_EXTRACT_HISTORY, 130, "Please wait while the history files are extracted.")   \
    X(IDS_WAIT_COMPRESS_FILE, 131, "Pleae wait while the files are compressed.")             \
    X(IDS_WAIT_EXTRACT_FILE, 132, "Please wait while the files are extracted.")              \
    X(IDS_SOURCE_LABEL, 133, "Source File:")                                                 \
    X(IDS_TARGET_LABEL, 134, "Target File:")                                                 \
    X(IDS_OVERALL_LABEL, 135, "Overall:")                                                    \
    X(IDT_MESSAGE, 1001, "Please wait while the history files are compressed")               \
    X(IDT_SOURCE_LABEL, 1002, "Source File:")                                                \
    X(IDT_TARGET_LABEL, 1003, "Target File:")                                                \
    X(IDT_SOURCE_NAME, 1004, "...")                                                          \
    X(IDT_TARGET_NAME, 1005, "...")                                                          \
    X(IDT_OVERALL_LABEL, 1007, "Overall:")                                                   \
    X(IDS_ERR_CREATE_FILE_CLASS, 2001, "Could not create File class!")                       \
    X(IDS_ERR_OPEN_FILE, 2002, "Couldn't open file!")                                        \
    X(IDS_ERR_CREATE, 2003, "Couldn't create!")                                              \
    X(IDS_ERR_DAMAGED, 2004, "The file is damaged!")                                         \
    X(IDS_ERR_READ, 2005, "Couldn't read file!")                                             \
    X(IDS_ERR_WRITE, 2006, "Couldn't write file!")                                           \
    X(IDS_ERR_NOT_REGULAR, 2007, "Not a regular file, passed over!")                         \
    X(IDS_ERR_TWIN_DIFFERS, 2008, "The compressed twin does not hold the same bytes, both files kept!") \
    X(IDS_ERR_TWIN_FAILED, 2009, "The new compressed file failed its check, the plain file is kept!") \
    X(IDS_ERR_DELETE, 2010, "Couldn't delete file!")                                         \
    X(IDS_ERR_NAME_DATE_RANGE, 2011, "Date out of range in the file name!")                  \
    X(IDS_ERR_NAME_DATE_CONVERT, 2012, "The date in the file name cannot be converted!")     \
    X(IDS_ERR_START_DATE_RANGE, 2013, "Start date out of range!")                            \
    X(IDS_ERR_START_DATE_CONVERT, 2014, "The start date cannot be converted!")               \
    X(IDS_ERR_READ_FOLDER, 2015, "Couldn't read folder!")                                    \
    X(IDS_ERR_NO_JOB, 2016, "No job given (/Z:C or /Z:E)!")                                  \
    X(IDS_ERR_NO_FOLDER, 2017, "No history folder given (/S:)!")                             \
    X(IDS_ERR_NO_DAYS, 2018, "No number of days given (/N:)!")                               \
    X(IDS_ERR_NEGATIVE_DAYS, 2019, "The number of days must not be negative for an extraction!") \
    X(IDS_ERR_BAD_START_DATE, 2020, "The start date (/D:) must be given as MM/DD/YY or MM/DD/YYYY!") \
    X(IDS_ERR_FOLDER_IN_USE, 2021, "Another tamble run is working in this folder, nothing done!") \
    X(IDS_ERR_PLAIN_CHANGED, 2022, "The plain file changed while it was compressed, it is kept!") \
    X(IDS_ERR_TEMP_LEFT, 2023, "Couldn't delete the temporary file!")                        \
    X(IDS_LOG_COMPRESSED, 2101, "Compressed:")                                               \
    X(IDS_LOG_EXTRACTED, 2102, "Extracted:")                                                 \
    X(IDS_LOG_PLAIN_DELETED, 2103, "Deleted, its compressed twin holds the same bytes:")     \
    X(IDS_LOG_TARGET_EXISTS, 2104, "Passed over, the target exists:")                        \
    X(IDS_LOG_WAIT_FOLDER, 2105, "Waiting for another tamble run to finish in:")              \
    X(IDS_LOG_STALE_TEMP, 2106, "Removed a temporary file left by an interrupted run:")      \
    X(IDS_USAGE_HEADLINE, 3001, "Usage: tamble [switches]")                                  \
    X(IDS_USAGE_TEXT, 3002, TAMBLE_USAGE_TEXT)                                               \
    X(IDS_USAGE_MORE, 3003, "Try 'tamble --help' for more information.")                     \
    X(IDS_ERR_UNKNOWN_OPTION, 3004, "Unknown option!")                                       \
    X(IDS_ERR_BAD_METHOD, 3005, "Unknown method, use lzw, lzss, huffman or stored!")         \
    X(IDS_ERR_NO_FILES, 3006, "No files given!")                                             \
    X(IDS_TEST_OK, 3007, "OK")                                                               \
    X(IDS_TEST_DAMAGED, 3008, "damaged")                                                     \
    X(IDS_TEST_UNREADABLE, 3009, "cannot be read")                                           \
    X(IDS_ERR_BAD_PROGRESS, 3010, "Unknown progress display, use window, terminal or none!") \
    X(IDS_ERR_NO_DISPLAY, 3011, "No window, the X display cannot be opened:")                \
    X(IDS_ERR_NO_WINDOW_MODULE, 3040, "No window, the window module cannot be loaded:")

enum StringId : UINT {
#define TAMBLE_STRING_ID(name, number, text) name = number,
    TAMBLE_STRINGS(TAMBLE_STRING_ID)
#undef TAMBLE_STRING_ID
};

// The program's own English text of an id, or null for an unknown id.
const char* EnglishString(UINT id);
