// CreateCompressedFile: the one place where stream objects are made.
//
// A reader passes the name of an existing file and gets the class its magic names
// (the method argument is then ignored; a failed read of the magic throws
// CFileException); a writer passes no name and the method it
// wants.  Methods 0, 1 and 2 give the Huffman, LZSS and LZW classes, every other
// number the stored class.  A non-null callback becomes the process-wide progress
// callback; a null one leaves the current callback in force.  A stream made with
// a sink reports to that sink only, and the process-wide callback is left alone.
#pragma once

#include "streams/CompressedFile.h"

CCompressedFile* CreateCompressedFile(const char* fileName, ProgressCallback progress, int method);
CCompressedFile* CreateCompressedFile(const char* fileName, const ProgressSink& sink, int method);
