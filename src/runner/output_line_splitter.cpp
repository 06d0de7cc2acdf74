#include "runner/output_line_splitter.h"

namespace {
void HandOver(OutputLineSplitter& splitter) {
    splitter.line[splitter.length] = '\0';
    AnsiText line(splitter.line, splitter.length);
    splitter.length = 0;
    splitter.sink(line);
}
} // namespace

void Start(OutputLineSplitter& splitter) {
    splitter.length = 0;
    splitter.line[0] = '\0';
}

void Feed(OutputLineSplitter& splitter, char byte) {
    if (byte == '\n') {
        HandOver(splitter);
        return;
    }
    if (byte == '\0')
        return;
    if (splitter.length < LINE_BUFFER_SIZE - 1)
        splitter.line[splitter.length++] = byte;
}

void Finish(OutputLineSplitter& splitter) {
    if (splitter.length > 0)
        HandOver(splitter);
}
