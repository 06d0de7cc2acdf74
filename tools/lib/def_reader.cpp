#include "def_file.h"
#include "def_tokens.h"

#include "def_format.h"
#include "def_machine_mark.h"
#include "file_contents.h"

#include <algorithm>
#include <unordered_map>

namespace {

enum class Section { None, Exports, Sections };

struct ParseState {
    const std::string& fileName;
    Section section = Section::None;
    bool libraryGiven = false;
    std::unordered_map<std::string_view, int> nameLines; // views into the .def text
};

// Echoes of the user's words are cut, so that one message stays one readable line.
constexpr size_t kMaxEcho = 40;

// Statements whose content an import library does not need.
bool IsIgnoredStatement(std::string_view word) {
    return word == "DESCRIPTION" || word == "VERSION" || word == "HEAPSIZE" ||
           word == "STACKSIZE" || word == "STUB";
}

bool IsStatement(const DefToken& token) {
    const std::string_view w = token.text;
    return !token.quoted && (w == kDefLibrary || w == "NAME" || w == kDefExports ||
                             w == "SECTIONS" || IsIgnoredStatement(w));
}

bool IsKeyword(const DefToken& token, const char* keyword) {
    return !token.quoted && token.text == keyword;
}

std::string Echo(std::string_view text) {
    if (text.size() <= kMaxEcho)
        return std::string(text);
    return std::string(text.substr(0, kMaxEcho)) + "... (" + std::to_string(text.size()) +
           " characters)";
}

std::string Quote(std::string_view text) {
    return "'" + Echo(text) + "'";
}

// ordinal: decimal digits, 0..65535 (0 exists in a DLL whose ordinal base is 0)
bool ParseOrdinal(std::string_view digits, uint16_t* ordinal, std::string* error) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        *error = "ordinal expected, but got " + Quote(digits);
        return false;
    }
    const size_t significant = digits.find_first_not_of('0');
    const std::string_view number =
        significant == std::string_view::npos ? std::string_view() : digits.substr(significant);
    unsigned long value = 0;
    for (size_t i = 0; i < number.size() && value <= 65535; ++i)
        value = value * 10 + static_cast<unsigned long>(number[i] - '0');
    if (value > 65535) {
        *error = "ordinal " + Echo(digits) + " out of range 0..65535";
        return false;
    }
    *ordinal = static_cast<uint16_t>(value);
    return true;
}

// @ordinal or @ ordinal, the token at i starting with '@'; i moves to the last token used.
bool ParseOrdinalAttribute(const std::vector<DefToken>& tokens, size_t* i, DefExport* entry,
                           std::string* error) {
    if (entry->hasOrdinal) {
        *error = "one ordinal expected, but got a second one: " + Quote(tokens[*i].text);
        return false;
    }
    std::string_view digits = tokens[*i].text.substr(1);
    if (digits.empty()) {
        if (*i + 1 == tokens.size()) {
            *error = "ordinal expected, but got end of line";
            return false;
        }
        digits = tokens[++*i].text;
    }
    entry->hasOrdinal = true;
    return ParseOrdinal(digits, &entry->ordinal, error);
}

// == importname: the name the DLL exports, when the entry's own name is only the symbol.
bool ParseImportName(const std::vector<DefToken>& tokens, size_t* i, DefExport* entry,
                     std::string* error) {
    if (!entry->importName.empty()) {
        *error = "one '==' expected, but got a second one";
        return false;
    }
    if (*i + 1 == tokens.size() || tokens[*i + 1].text.empty() || IsKeyword(tokens[*i + 1], "=") ||
        IsKeyword(tokens[*i + 1], kDefImportName)) {
        *error = "import name expected after '=='";
        return false;
    }
    entry->importName = std::string(tokens[++*i].text);
    return true;
}

// The attributes after an entry's name: [@ordinal [NONAME]] [PRIVATE] [DATA] [== importname]
bool ParseAttributes(const std::vector<DefToken>& tokens, size_t i, DefExport* entry,
                     std::string* error) {
    for (; i < tokens.size(); ++i) {
        const DefToken& t = tokens[i];
        if (!t.quoted && !t.text.empty() && t.text[0] == '@') {
            if (!ParseOrdinalAttribute(tokens, &i, entry, error))
                return false;
        } else if (IsKeyword(t, kDefNoName)) {
            entry->noName = true;
        } else if (IsKeyword(t, "PRIVATE")) {
            entry->isPrivate = true;
        } else if (IsKeyword(t, kDefData)) {
            entry->isData = true;
        } else if (IsKeyword(t, kDefImportName)) {
            if (!ParseImportName(tokens, &i, entry, error))
                return false;
        } else {
            *error =
                "@ordinal, NONAME, PRIVATE, DATA or '== name' expected, but got " + Quote(t.text);
            return false;
        }
    }
    if (entry->noName && !entry->hasOrdinal) {
        *error = "NONAME needs an ordinal: name @ordinal NONAME";
        return false;
    }
    return true;
}

// False, with a warning, for a name that an earlier entry already has: that one is kept (a
// user who decorates a line by hand may give a name that a later line gives too). Several
// names may share an ordinal: a DLL can export one function under two names.
bool IsFirstOfItsName(std::string_view name, int line, ParseState* state, DefFile* def) {
    const auto found = state->nameLines.emplace(name, line);
    if (found.second)
        return true;
    def->warnings.push_back(state->fileName + "(" + std::to_string(line) + "): export " +
                            Quote(name) + " given again (first at line " +
                            std::to_string(found.first->second) + "): this entry is left out");
    return false;
}

// EXPORTS entry: entryname[=internalname] [@ordinal [NONAME]] [PRIVATE] [DATA] [== importname]
// The internal name (or forward target) does not change what an importer links to.
bool ParseExport(const std::vector<DefToken>& tokens, size_t first, int line, ParseState* state,
                 DefFile* def, std::string* error) {
    const DefToken& name = tokens[first];
    if (name.text.empty() || IsKeyword(name, "=") || IsKeyword(name, kDefImportName)) {
        *error = "export name expected, but got " + Quote(name.text);
        return false;
    }
    DefExport entry;
    entry.line = line;
    size_t i = first + 1;
    if (i < tokens.size() && IsKeyword(tokens[i], "=")) {
        if (i + 1 == tokens.size() || tokens[i + 1].text.empty() ||
            IsKeyword(tokens[i + 1], kDefImportName)) {
            *error = "internal name expected after '='";
            return false;
        }
        i += 2;
    }
    if (!ParseAttributes(tokens, i, &entry, error))
        return false;
    if (!IsFirstOfItsName(name.text, line, state, def))
        return true;
    entry.name = std::string(name.text);
    def->exports.push_back(std::move(entry));
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
    size_t i = 1;
    if (i < tokens.size() && !IsKeyword(tokens[i], "BASE"))
        def->libraryName = std::string(tokens[i++].text);
    const bool base =
        i + 3 == tokens.size() && IsKeyword(tokens[i], "BASE") && IsKeyword(tokens[i + 1], "=");
    if (i == tokens.size() || base)
        return true;
    *error = "one DLL name and BASE=address expected, but got " + Quote(tokens[i].text) +
             (def->libraryName.empty()
                  ? ""
                  : "; a name with blanks goes in quotes: \"" + def->libraryName + " ...\"");
    return false;
}

bool ParseLine(const std::vector<DefToken>& tokens, int line, ParseState* state, DefFile* def,
               std::string* error) {
    if (tokens.empty())
        return true;
    if (IsStatement(tokens[0])) {
        const std::string_view word = tokens[0].text;
        state->section = Section::None;
        if (word == kDefLibrary || word == "NAME")
            return ParseLibrary(tokens, state, def, error);
        if (word == "SECTIONS")
            state->section = Section::Sections;
        if (word != kDefExports)
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

// Where the line that starts at begin ends, and where the next one starts: CR, LF and CR LF
// all end a line.
size_t LineEnd(std::string_view text, size_t begin, size_t* next) {
    const size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
        *next = text.size();
        return text.size();
    }
    *next = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    return end;
}

} // namespace

bool ParseDefText(const std::string& text, const std::string& fileName, DefFile* def,
                  std::string* error) {
    *def = DefFile();
    const MachineMark mark = FindMachineMark(text);
    def->machineMark = mark.machineName;
    def->machineMarkLine = mark.line;
    ParseState state{fileName, Section::None, false, {}};
    std::string_view all(text);
    const char kByteOrderMark[] = "\xEF\xBB\xBF";
    if (all.substr(0, 3) == kByteOrderMark)
        all.remove_prefix(3);
    // Room for one export a line, so that the list is not moved as it grows.
    def->exports.reserve(static_cast<size_t>(std::count(all.begin(), all.end(), '\n')));
    std::vector<DefToken> tokens;
    std::string message;
    size_t next = 0;
    for (int line = 1; next < all.size(); ++line) {
        const size_t begin = next;
        const size_t end = LineEnd(all, begin, &next);
        if (!SplitDefLine(all.substr(begin, end - begin), &tokens, &message) ||
            !ParseLine(tokens, line, &state, def, &message)) {
            *error = fileName + "(" + std::to_string(line) + "): " + message;
            return false;
        }
    }
    return true;
}

bool ReadDefFile(const std::string& path, DefFile* def, std::string* error) {
    std::string text;
    if (!ReadFileContents(path, &text, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return ParseDefText(text, path, def, error);
}
