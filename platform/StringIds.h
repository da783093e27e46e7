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
    X(IDS_USAGE_HEADLINE, 3001, "Usage: tamble [switches]")

enum StringId : UINT {
#define TAMBLE_STRING_ID(name, number, text) name = number,
    TAMBLE_STRINGS(TAMBLE_STRING_ID)
#undef TAMBLE_STRING_ID
};

// The program's own English text of an id, or null for an unknown id.
const char* EnglishString(UINT id);
