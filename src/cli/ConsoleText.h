// Text from a board, sysfs or a file on its way to a console. A board names itself with any
// bytes it likes; printed raw, an escape sequence would drive the user's terminal.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// Printable ASCII stays as it is; a backslash becomes "\\" and every other byte "\xNN".
std::string printable(std::string_view text);

// The board's single-byte text (the low byte of each UTF-16 unit, so Latin-1) as UTF-8.
std::string latin1ToUtf8(std::string_view text);

} // namespace cli
