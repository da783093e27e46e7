// The two settings that choose a run's job, as the command-line record carries
// them: the operation (m_nZipMode, /Z:C or /Z:E) and the kind of file it works
// on (m_nFileType, /T:N or /T:A).  They stay plain ints, since the record takes
// whatever the switches give and the jobs judge it.
#pragma once

// m_nZipMode: any other value names no job.
constexpr int ZIP_MODE_NONE = 0;
constexpr int ZIP_MODE_COMPRESS = 1;
constexpr int ZIP_MODE_EXTRACT = 2;

// m_nFileType: any value but FILE_TYPE_HISTORY means one named file.
constexpr int FILE_TYPE_NONE = 0;   // no /T: given
constexpr int FILE_TYPE_NAMED = 1;
constexpr int FILE_TYPE_HISTORY = 2;

// Whether the operation names a job: compress or extract.
constexpr bool IsJobMode(int zipMode)
{
    return zipMode == ZIP_MODE_COMPRESS || zipMode == ZIP_MODE_EXTRACT;
}
