#pragma once
// Cutting one line of a .def file into words.
#include <string>
#include <vector>

struct DefToken {
    std::string text;
    bool quoted = false; // a quoted word is always a name, never a keyword
};

// Splits at blanks; '=' is a word of its own; "..." keeps blanks and ';' inside a name; ';'
// starts a comment. Returns false with a message when a quote is not closed or the line
// holds a NUL byte.
bool SplitDefLine(const std::string& line, std::vector<DefToken>* tokens, std::string* error);
