// What the program does first on the system it runs on.
#pragma once

#include <string>
#include <vector>

// The program's arguments (the program's name first) as UTF-8: argv itself on
// Linux; on Windows the command line split by the system's rules from its
// UTF-16 text, since argv there holds only the ANSI code page's approximation.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard streams: on Windows, a program without a console of its own that
// was started from one without redirection writes to that console, and every
// stream is binary, so that messages and --cat output are the Linux build's
// bytes.  Nothing to do on Linux.
void PrepareStandardStreams();
