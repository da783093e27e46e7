#include "app/StderrView.h"

#include "platform/PrintableText.h"
#include "platform/SysCall.h"

void CStderrView::WriteLine(int fd, const std::string& text)
{
    const std::string line = "tamble: " + PrintableText(text) + '\n';
    WriteAll(fd, line.data(), line.size());   // failing, nowhere to report it; the exit status still tells
}
