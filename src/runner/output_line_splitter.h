// Cuts a tool's output bytes into lines: LF ends a line, CR is kept, NUL is ignored, and a
// line keeps at most LINE_BUFFER_SIZE - 1 bytes (the rest of it up to the LF is dropped).
#pragma once
#include "program_types.h"

#include <cstddef>
#include <functional>

struct OutputLineSplitter {
    char line[LINE_BUFFER_SIZE];
    size_t length;
    std::function<void(const AnsiText& line)> sink;
};

// Empties the current line; called once per run before the first byte.
void Start(OutputLineSplitter& splitter);

// Handles one byte of output.
void Feed(OutputLineSplitter& splitter, char byte);

// Ends the stream: an unfinished last line that holds any text goes to the sink.
void Finish(OutputLineSplitter& splitter);
