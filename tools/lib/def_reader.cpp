#include "def_file.h"
#include "def_tokens.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

enum class Section { None, Exports, Sections };

struct ParseState {
    Section section = Section::None;
    bool libraryGiven = false;
    std::map<std::string, int> nameLines;
    std::map<uint16_t, int> ordinalLines;
};

// Statements whose content an import library does not need.
bool IsIgnoredStatement(const std::string& word) {
    return word == "DESCRIPTION" || word == "VERSION" || word == "HEAPSIZE" ||
           word == "STACKSIZE" || word == "STUB";
}

bool IsStatement(const DefToken& token) {
    const std::string& w = token.text;
    return !token.quoted && (w == "LIBRARY" || w == "NAME" || w == "EXPORTS" || w == "SECTIONS" ||
                             IsIgnoredStatement(w));
}

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// ordinal: decimal digits, 1..65535
bool ParseOrdinal(const std::string& digits, uint16_t* ordinal, std::string* error) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        *error = "ordinal expected, but got " + Quote(digits);
        return false;
    }
    const size_t significant = digits.find_first_not_of('0');
    const bool tooLong = significant != std::string::npos && digits.size() - significant > 5;
    const unsigned long value = tooLong ? 0 : std::stoul(digits);
    if (tooLong || value < 1 || value > 65535) {
        *error = "ordinal " + digits + " out of range 1..65535";
        return false;
    }
    *ordinal = static_cast<uint16_t>(value);
    return true;
}

// The attributes after an entry's name: [@ordinal [NONAME]] [PRIVATE] [DATA]
bool ParseAttributes(const std::vector<DefToken>& tokens, size_t i, DefExport* entry,
                     std::string* error) {
    for (; i < tokens.size(); ++i) {
        const DefToken& t = tokens[i];
        const std::string& w = t.text;
        if (!t.quoted && !w.empty() && w[0] == '@') {
            if (entry->ordinal != 0) {
                *error = "one ordinal expected, but got a second one: " + Quote(w);
                return false;
            }
            std::string digits = w.substr(1);
            if (digits.empty()) {
                if (i + 1 == tokens.size()) {
                    *error = "ordinal expected, but got end of line";
                    return false;
                }
                digits = tokens[++i].text;
            }
            if (!ParseOrdinal(digits, &entry->ordinal, error))
                return false;
        } else if (!t.quoted && w == "NONAME") {
            entry->noName = true;
        } else if (!t.quoted && w == "PRIVATE") {
            entry->isPrivate = true;
        } else if (!t.quoted && w == "DATA") {
            entry->isData = true;
        } else {
            *error = "@ordinal, NONAME, PRIVATE or DATA expected, but got " + Quote(w);
            return false;
        }
    }
    if (entry->noName && entry->ordinal == 0) {
        *error = "NONAME needs an ordinal: name @ordinal NONAME";
        return false;
    }
    return true;
}

// Refuses a name or ordinal that an earlier entry already has.
bool CheckUnique(const DefExport& entry, ParseState* state, std::string* error) {
    const auto name = state->nameLines.emplace(entry.name, entry.line);
    if (!name.second) {
        *error = "duplicate export " + Quote(entry.name) + ", first at line " +
                 std::to_string(name.first->second);
        return false;
    }
    if (entry.ordinal == 0)
        return true;
    const auto ordinal = state->ordinalLines.emplace(entry.ordinal, entry.line);
    if (!ordinal.second) {
        *error = "duplicate ordinal " + std::to_string(entry.ordinal) + ", first at line " +
                 std::to_string(ordinal.first->second);
        return false;
    }
    return true;
}

// EXPORTS entry: entryname[=internalname] [@ordinal [NONAME]] [PRIVATE] [DATA]
// The internal name (or forward target) does not change what an importer links to.
bool ParseExport(const std::vector<DefToken>& tokens, size_t first, int line, ParseState* state,
                 DefFile* def, std::string* error) {
    DefExport entry;
    entry.line = line;
    entry.name = tokens[first].text;
    if (entry.name.empty() || (!tokens[first].quoted && entry.name == "=")) {
        *error = "export name expected, but got " + Quote(entry.name);
        return false;
    }
    size_t i = first + 1;
    if (i < tokens.size() && !tokens[i].quoted && tokens[i].text == "=") {
        if (i + 1 == tokens.size() || tokens[i + 1].text.empty()) {
            *error = "internal name expected after '='";
            return false;
        }
        i += 2;
    }
    if (!ParseAttributes(tokens, i, &entry, error) || !CheckUnique(entry, state, error))
        return false;
    def->exports.push_back(entry);
    return true;
}

// LIBRARY [name] [BASE=address]   or   NAME [name] [BASE=address]
bool ParseLibrary(const std::vector<DefToken>& tokens, ParseState* state, DefFile* def,
                  std::string* error) {
    if (state->libraryGiven) {
        *error = "one LIBRARY or NAME statement expected, but got a second one";
        return false;
    }
    state->libraryGiven = true;
    if (tokens.size() > 1 && !(tokens[1].text == "BASE" && !tokens[1].quoted))
        def->libraryName = tokens[1].text;
    return true;
}

bool ParseLine(const std::vector<DefToken>& tokens, int line, ParseState* state, DefFile* def,
               std::string* error) {
    if (tokens.empty())
        return true;
    if (IsStatement(tokens[0])) {
        const std::string& word = tokens[0].text;
        state->section = Section::None;
        if (word == "LIBRARY" || word == "NAME")
            return ParseLibrary(tokens, state, def, error);
        if (word == "SECTIONS")
            state->section = Section::Sections;
        if (word != "EXPORTS")
            return true;
        state->section = Section::Exports;
        return tokens.size() == 1 || ParseExport(tokens, 1, line, state, def, error);
    }
    if (state->section == Section::Exports)
        return ParseExport(tokens, 0, line, state, def, error);
    if (state->section == Section::Sections)
        return true;
    *error = "statement expected, but got " + Quote(tokens[0].text);
    return false;
}

} // namespace

bool ParseDefText(const std::string& text, const std::string& fileName, DefFile* def,
                  std::string* error) {
    *def = DefFile();
    ParseState state;
    std::istringstream lines(text);
    std::string lineText;
    std::vector<DefToken> tokens;
    for (int line = 1; std::getline(lines, lineText); ++line) {
        std::string message;
        if (!SplitDefLine(lineText, &tokens, &message) ||
            !ParseLine(tokens, line, &state, def, &message)) {
            *error = fileName + "(" + std::to_string(line) + "): error: " + message;
            return false;
        }
    }
    return true;
}

bool ReadDefFile(const std::string& path, DefFile* def, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": error: cannot open the file";
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = path + ": error: cannot read the file";
        return false;
    }
    return ParseDefText(text, path, def, error);
}
