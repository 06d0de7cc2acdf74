#include "impdef_run.h"

#include "coff_format.h"
#include "command_line.h"
#include "def_machine_mark.h"
#include "def_writer.h"
#include "export_conventions.h"
#include "export_table.h"
#include "file_code_image.h"
#include "message_text.h"
#include "replace_keeping_backup.h"
#include "file_platform.h"
#include "paged_file.h"
#include "pe_image.h"
#include "tool_version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// What the summary says of the machine: nothing for x86, whose libraries Lib makes unasked.
std::string MachineNote(const std::string& machineName, bool arm64x) {
    if (machineName == kMachineNameX86)
        return "";
    if (machineName != kMachineNameX64 && machineName != kMachineNameArm64)
        return "; warning: a DLL for machine " + machineName + ", for which Lib makes no library";
    std::string note = "; a 64-bit DLL: its .def is marked for Lib /MACHINE:" + machineName;
    if (arm64x)
        note +=
            "; an ARM64X DLL: the library serves its ARM64 callers only, not x64 (ARM64EC) ones";
    return note;
}

std::string SummaryLine(const CommandOptions& options, const DefCounts& counts, bool examined,
                        const std::string& machineNote, bool keptBackup) {
    std::string line = options.dllPath + ": " + std::to_string(counts.exports) + " exports (" +
                       std::to_string(counts.data) + " data, " +
                       std::to_string(counts.ordinalOnly) + " ordinal only" +
                       (options.namesOnly && counts.ordinalOnly != 0 ? " left out" : "") + ", " +
                       std::to_string(counts.forwarded) + " forwarded";
    if (examined) {
        line += ", " + std::to_string(counts.stdcall) +
                (options.namesOnly ? " stdcall named in comments, " : " stdcall decorated, ") +
                std::to_string(counts.unknown) + " unknown";
    }
    line += ") -> " + options.defPath;
    if (keptBackup) {
        line +=
            "; the file it replaced, which differed, is kept as " + options.defPath + kBackupSuffix;
    }
    return line + machineNote + "\n";
}

int Convert(const CommandOptions& options, std::string* out, std::string* err) {
    PagedFile file;
    PeImage image{};
    ExportTable table;
    std::string error;
    if (!OpenPagedFile(options.dllPath, &file, &error)) {
        *err += ErrorLine(kToolName, options.dllPath + ": " + error);
        return kExitFailed;
    }
    const ByteView view{nullptr, file.size, &file};
    if (!ParsePeImage(view, &image, &error) || !ReadExportTable(view, image, &table, &error)) {
        *err += ErrorLine(kToolName, options.dllPath + ": " +
                                         (file.readError.empty() ? error : file.readError));
        return kExitFailed;
    }
    const bool examine = !options.asExported && image.machine == kMachineI386;
    std::vector<ConventionFinding> calls;
    if (examine) {
        calls = FindExportConventions(table, FileCodeImage(view, image, table));
    }
    const std::string fileName = options.dllPath.substr(FileNameStart(options.dllPath));
    const std::string machineName = MachineName(image.machine);
    const auto produce = [&](const TextSink& sink) {
        WriteDefTo(table, calls, fileName, machineName, options.namesOnly, sink);
    };
    bool keptBackup = false;
    // "-o -": the .def on standard output, the summary on standard error.
    const bool toStandardOutput = options.defPath == "-";
    if (toStandardOutput) {
        *out += WriteDef(table, calls, fileName, machineName, options.namesOnly);
    } else if (!ReplaceKeepingBackup(options.defPath, produce, &keptBackup, &error)) {
        *err += ErrorLine(kToolName, error); // names the file
        return kExitFailed;
    }
    *(toStandardOutput ? err : out) +=
        SummaryLine(options, CountExports(table, calls), examine,
                    MachineNote(machineName, IsArm64xHybrid(view, image)), keptBackup);
    return kExitOk;
}

} // namespace

int RunImpdef(const std::vector<std::string>& args, std::string* out, std::string* err) {
    const CommandOptions options = ParseCommandLine(args);
    if (options.action == CommandAction::Help) {
        *out += UsageText();
        return kExitOk;
    }
    if (options.action == CommandAction::Version) {
        *out += std::string(kToolName) + " " + kToolVersion + "\n";
        return kExitOk;
    }
    if (options.action == CommandAction::UsageError) {
        *err += ErrorLine(kToolName, options.error) + UsageText();
        return kExitUsage;
    }
    return Convert(options, out, err);
}
