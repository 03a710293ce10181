// qdb's text form of keys and data: printable bytes as they are, a
// backslash escape for everything else.
#pragma once

#include <string>
#include <string_view>

namespace qdb {

// \\ \t \n \r, and \xHH for the other bytes below 32, 127 and above.
std::string Escape(std::string_view bytes);
// The bytes of a text in the text form; false (with why) for a bad escape.
bool Unescape(std::string_view text, std::string& bytes, std::string& why);
// Offset, 16 bytes in hex and the printable ones, per line on standard output.
void HexDump(std::string_view bytes);

}  // namespace qdb
