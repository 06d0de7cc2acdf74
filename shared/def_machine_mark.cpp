#include "def_machine_mark.h"

namespace {

constexpr std::string_view kMarkWord = "machine:"; // as MachineMarkLine writes it
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view SkipBlanks(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return text.substr(start);
}

} // namespace

MachineMark FindMachineMark(std::string_view defText) {
    if (defText.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
        defText.remove_prefix(kUtf8ByteOrderMark.size());
    int line = 0;
    while (!defText.empty()) {
        ++line;
        const size_t end = defText.find_first_of("\r\n");
        std::string_view text = SkipBlanks(defText.substr(0, end));
        if (!text.empty() && text[0] != ';')
            break; // the first line that is no comment ends the top
        if (!text.empty()) {
            text = SkipBlanks(text.substr(1));
            if (text.substr(0, kMarkWord.size()) == kMarkWord) {
                text = SkipBlanks(text.substr(kMarkWord.size()));
                size_t length = 0;
                while (length < text.size() && !IsBlank(text[length]) && text[length] != ';')
                    ++length;
                if (length != 0)
                    return MachineMark{std::string(text.substr(0, length)), line};
            }
        }
        if (end == std::string_view::npos)
            break;
        // CR LF is one line end; a lone CR or LF is one too.
        const size_t next =
            defText[end] == '\r' && end + 1 < defText.size() && defText[end + 1] == '\n' ? end + 2
                                                                                         : end + 1;
        defText.remove_prefix(next);
    }
    return MachineMark{};
}
