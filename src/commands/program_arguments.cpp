#include "commands/program_arguments.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsLeadByte(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

// The program's name ends at the next quote when it starts with one, else at the first blank;
// it knows no escapes. Returns the position after it.
size_t SkipProgramName(const AnsiText& line) {
    size_t i = 0;
    if (i < line.size() && line[i] == '"') {
        size_t closing = line.find('"', 1);
        return closing == AnsiText::npos ? line.size() : closing + 1;
    }
    while (i < line.size() && !IsBlank(line[i]))
        i += IsLeadByte(line[i]) && i + 1 < line.size() ? 2 : 1;
    return i;
}

// Backslashes are literal unless a quote follows them: then each pair gives one backslash, and
// an odd one makes the quote literal. Returns the position after the run (and the quote).
size_t TakeBackslashes(const AnsiText& line, size_t i, AnsiText& argument, bool& inQuotes) {
    size_t count = 0;
    while (i < line.size() && line[i] == '\\') {
        ++count;
        ++i;
    }
    if (i >= line.size() || line[i] != '"') {
        argument.append(count, '\\');
        return i;
    }
    argument.append(count / 2, '\\');
    if (count % 2 == 1)
        argument += '"';
    else
        inQuotes = !inQuotes;
    return i + 1;
}

} // namespace

std::vector<AnsiText> SplitProgramArguments(const AnsiText& commandLine) {
    std::vector<AnsiText> arguments;
    size_t i = SkipProgramName(commandLine);
    for (;;) {
        while (i < commandLine.size() && IsBlank(commandLine[i]))
            ++i;
        if (i >= commandLine.size())
            return arguments;
        AnsiText argument;
        bool inQuotes = false;
        while (i < commandLine.size() && (inQuotes || !IsBlank(commandLine[i]))) {
            const char c = commandLine[i];
            if (c == '\\') {
                i = TakeBackslashes(commandLine, i, argument, inQuotes);
            } else if (c == '"' && inQuotes && i + 1 < commandLine.size() &&
                       commandLine[i + 1] == '"') {
                argument += '"'; // "" inside quotes: a literal quote, and the quotes go on
                i += 2;
            } else if (c == '"') {
                inQuotes = !inQuotes;
                ++i;
            } else if (IsLeadByte(c) && i + 1 < commandLine.size()) {
                argument.append(commandLine, i, 2);
                i += 2;
            } else {
                argument += c;
                ++i;
            }
        }
        arguments.push_back(argument);
    }
}
