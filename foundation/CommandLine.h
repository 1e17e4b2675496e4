#pragma once

#include <string>
#include <vector>

// Command-line splitting in the program's own simple rules. Thread: any.

// Tab, LF, CR and space.
[[nodiscard]] bool IsSpaceChar(int ch);

// Blanks separate arguments. An argument that begins with '"' runs to the
// next '"' (no escapes; blanks inside stay) and the character after the
// closing quote is skipped; others run to the next blank. Returns the count
// with the arguments in out, or -1 with out empty when a quote is not
// closed. A null text has no arguments.
int SplitArguments(const char* text, std::vector<std::string>& out);

// This program's arguments, element 0 the program; the count or -1.
int GetCommandLineArgs(std::vector<std::string>& out);
