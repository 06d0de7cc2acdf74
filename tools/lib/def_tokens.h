#pragma once
// Cutting one line of a .def file into words.
#include <string>
#include <string_view>
#include <vector>

struct DefToken {
    std::string_view text; // points into the line
    bool quoted = false;   // a quoted word is always a name, never a keyword
};

// Splits at blanks; '=' and '==' are words of their own; "..." keeps blanks and ';' inside a
// name; ';' starts a comment. Returns false with a message when a quote is not closed or the
// line holds a NUL byte.
bool SplitDefLine(std::string_view line, std::vector<DefToken>* tokens, std::string* error);
