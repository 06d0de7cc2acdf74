// Writes what GetProgramDir gives for this executable, and the Lib.exe path built from it,
// into the file named by the first argument.
#include "commands/command_lines.h"
#include "commands/make_commands.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    AnsiText dir = GetProgramDir();
    std::fprintf(out, "%s\n%s\n", dir.c_str(), (dir + kLibToolName).c_str());
    std::fclose(out);
    return 0;
}
