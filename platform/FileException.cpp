#include "platform/File.h"

#include <cstring>
#include <utility>

CFileException::CFileException(Cause cause, int err, std::string fileName, const char* what)
    : std::runtime_error(what ? what : "file error")
{
    Set(cause, err, std::move(fileName), what);
}

void CFileException::Set(Cause cause, int err, std::string fileName, const char* what)
{
    m_cause = cause;
    m_lOsError = err;
    m_strFileName = std::move(fileName);
    m_strWhat = what ? what : "file error";
    m_strOsText.clear();
}

std::string CFileException::Describe() const
{
    std::string text = m_strWhat;
    if (!m_strFileName.empty())
        text += " on " + m_strFileName;
    if (!m_strOsText.empty())
        text += ": " + m_strOsText;
    else if (m_lOsError != 0) {
        text += ": ";
        text += std::strerror(m_lOsError);
    }
    return text;
}
