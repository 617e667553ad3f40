#pragma once
// Text that comes from outside (a controller, a package, a file) is shown
// through this before it becomes part of a message, so that it cannot steer
// a terminal or the log window with control characters or escape sequences.

#include <string>
#include <string_view>

// text with each control character (C0, DEL, and the C1 range U+0080 to
// U+009F) written as an escape: \n, \r, \t, else \xNN or \uNNNN. Bytes that
// are not UTF-8 are written as \xNN too; all other text stays as it is.
std::string printable(std::string_view text);
