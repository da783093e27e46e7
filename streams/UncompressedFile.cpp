#include "streams/UncompressedFile.h"

BOOL CUncompressedFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    m_nMethod = METHOD_NONE;
    if (!OpenShared(fileName, openFlags, error))
        return FALSE;
    m_nOriginalSize = m_nFileLength;
    return TRUE;
}

UINT CUncompressedFile::Read(void* buffer, UINT count)
{
    UINT got = ReadBuffered(buffer, count);
    return got;
}

void CUncompressedFile::WriteData(const void* data, UINT count)
{
    WriteBuffered(data, count, TRUE);
}
