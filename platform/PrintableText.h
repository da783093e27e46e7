// Text that is safe to show on a terminal or in a one-line message.
#pragma once

#include <string>

// The text with every control character shown as "?": the C0 controls (below
// 0x20), DEL, and the C1 controls U+0080 to U+009F in UTF-8 (CSI among them).
// A file name in a message can neither break its line nor steer the terminal.
std::string PrintableText(const std::string& text);
