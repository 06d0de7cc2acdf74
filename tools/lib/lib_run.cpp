#include "lib_run.h"

#include "def_file.h"
#include "import_library.h"
#include "lib_options.h"
#include "lib_paths.h"

#include "file_contents.h"
#include "message_text.h"
#include "morvane_version.h"

namespace {

const char kLogo[] = "Morvane Library Manager (Lib.exe) " MORVANE_TOOL_VERSION_TEXT
                     ": Morvane's own library manager,\n"
                     "which makes import libraries from module-definition (.def) files.\n";

const char kUsage[] =
    "usage: Lib /DEF:file.def [options]\n"
    "\n"
    "options (case does not matter; '-' works as well as '/'):\n"
    "  /DEF:file        the .def file to read (required)\n"
    "  /MACHINE:X86     32-bit x86, also IX86 or I386\n"
    "  /MACHINE:X64     64-bit x64, also AMD64\n"
    "  /MACHINE:ARM64   64-bit ARM\n"
    "                   default: the machine the .def is marked for, else X86\n"
    "  /OUT:file        the library to write; default: the .def path with .lib\n"
    "  /NAME:dll        the DLL to import from; default: LIBRARY in the .def file\n"
    "  /NOLOGO          no banner\n"
    "  /?               this help\n";

const char kTool[] = "Lib";

int Fail(std::string* err, const std::string& message) {
    *err += ErrorLine(kTool, message);
    return 1;
}

// The machine of the library: the one the .def is marked for, which a /MACHINE given must
// match (a library for another machine cannot load the DLL), or else /MACHINE's, or X86.
bool ChooseMachine(const LibOptions& options, const DefFile& def, Machine* machine,
                   std::string* err) {
    if (def.machineMark.empty()) {
        if (!options.machineGiven)
            *err +=
                kTool + std::string(": warning: /MACHINE not given; making a library for X86\n");
        *machine = options.machine;
        return true;
    }
    const std::string where = options.defPath + "(" + std::to_string(def.machineMarkLine) + "): ";
    Machine marked = Machine::X86;
    if (!ParseMachine(def.machineMark, &marked)) {
        Fail(err, where + "the .def file is marked for machine " + def.machineMark +
                      ", for which Lib makes no library");
        return false;
    }
    if (options.machineGiven && options.machine != marked) {
        Fail(err, where + "the .def file is marked for machine " + MachineName(marked) +
                      ", but /MACHINE:" + MachineName(options.machine) +
                      " was given; a library for " + MachineName(options.machine) +
                      " cannot load the DLL: give /MACHINE:" + MachineName(marked) +
                      " or leave /MACHINE out");
        return false;
    }
    *machine = marked;
    return true;
}

// Reads the .def file, builds the library and writes it where the options say.
int MakeLibrary(const LibOptions& options, std::string* out, std::string* err) {
    DefFile def;
    std::string error;
    if (!ReadDefFile(options.defPath, &def, &error))
        return Fail(err, error);
    for (const std::string& warning : def.warnings)
        *err += kTool + std::string(": warning: ") + warning + "\n";
    Machine machine = Machine::X86;
    if (!ChooseMachine(options, def, &machine, err))
        return 1;
    const std::string dllName =
        DllNameFor(options.dllName.empty() ? def.libraryName : options.dllName, options.defPath);
    const std::string outPath =
        options.outPath.empty() ? DefaultLibraryPath(options.defPath) : options.outPath;
    // Streamed to the file; a .def that gives no library fails before anything is written, and
    // the temporary file is removed.
    const auto write = [&](std::FILE* file, std::string* message) {
        if (WriteImportLibrary(def, dllName, machine, ByteSink{nullptr, file}, message))
            return true;
        *message = options.defPath + ": " + *message;
        return false;
    };
    if (!ReplaceFileByWriting(outPath, write, &error))
        return Fail(err, error);
    *out += "Creating library " + outPath + "\n";
    return 0;
}

} // namespace

int RunLib(const std::vector<std::string>& args, std::string* out, std::string* err) {
    LibOptions options;
    std::vector<std::string> warnings;
    std::string error;
    const bool parsed = ParseLibOptions(args, &options, &warnings, &error);
    if (!options.noLogo || args.empty() || options.showHelp)
        *out += kLogo;
    if (args.empty() || options.showHelp) {
        *out += "\n" + std::string(kUsage);
        return 0;
    }
    for (const std::string& warning : warnings)
        *err += kTool + std::string(": warning: ") + warning + "\n";
    if (!parsed)
        return Fail(err, error);
    if (options.defPath.empty())
        return Fail(err, "no .def file given: /DEF:file.def is required");
    return MakeLibrary(options, out, err);
}
