#include "def_tokens.h"

#include "def_format.h"

bool SplitDefLine(std::string_view line, std::vector<DefToken>* tokens, std::string* error) {
    tokens->clear();
    if (line.find('\0') != std::string_view::npos) {
        *error = "NUL byte in the line";
        return false;
    }
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (IsDefBlank(c)) {
            ++i;
        } else if (c == ';') {
            break;
        } else if (c == '=') {
            const size_t length = i + 1 < line.size() && line[i + 1] == '=' ? 2 : 1;
            tokens->push_back({line.substr(i, length), false});
            i += length;
        } else if (c == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                *error = "closing '\"' expected, but got end of line";
                return false;
            }
            tokens->push_back({line.substr(i + 1, close - i - 1), true});
            i = close + 1;
        } else {
            const size_t start = i;
            while (i < line.size() && !EndsDefWord(line[i]))
                ++i;
            tokens->push_back({line.substr(start, i - start), false});
        }
    }
    return true;
}
