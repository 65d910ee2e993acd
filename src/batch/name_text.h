// How names read from the disk are written where only text may stand. A name
// on Linux is any bytes: the reports must stay valid UTF-8 and keep names
// that differ apart, and the console must not receive control characters
// (a newline that forges a line, an escape sequence for the terminal).
#pragma once

#include <string>

// The name as UTF-8 text: each byte that is not part of valid UTF-8 is written
// "\xHH" (two upper-case hex digits), and where a backslash can be part of a
// name (every system but Windows) a backslash is written "\\". Names that
// differ give texts that differ.
std::string name_report_text(const std::string& name);

// The name a report text stands for: name_report_text undone.
std::string name_from_report_text(const std::string& text);

// The bytes a hex text (name_hex_bytes) stands for; false when it is not one.
bool name_from_hex_bytes(const std::string& hex, std::string& name);

// True when name_report_text gives back the name unchanged.
bool name_report_text_exact(const std::string& name);

// name_report_text with control characters (C0, DEL and C1) also written "\xHH".
std::string name_console_text(const std::string& name);

// The bytes as lower-case hex, two digits each.
std::string name_hex_bytes(const std::string& name);
