// Decodes a 32-bit DLL's code linearly from each export's entry up to the next entry and
// prints one line per instruction, "address length flow [target]", with the image base added,
// for x86_decoder_check.py to hold against a disassembler. A byte that is no instruction prints
// "address 0 invalid", and the sweep goes on at the next entry.
#include "export_table.h"
#include "pe_image.h"
#include "x86_decoder.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char* FlowName(InsnFlow flow) {
    switch (flow) {
    case InsnFlow::Next:
        return "next";
    case InsnFlow::Return:
        return "ret";
    case InsnFlow::ReturnPop:
        return "retn";
    case InsnFlow::Jump:
        return "jmp";
    case InsnFlow::Branch:
        return "jcc";
    case InsnFlow::Call:
        return "call";
    case InsnFlow::JumpTable:
        return "table";
    case InsnFlow::JumpPointer:
        return "pointer";
    case InsnFlow::JumpRegister:
        return "register";
    case InsnFlow::Stop:
        return "stop";
    case InsnFlow::FarFlow:
        return "far";
    }
    return "?";
}

// The flow's operand as a disassembler shows it: a branch target, the popped bytes, or the
// address of a jump's pointer or table.
void PrintInsn(uint64_t address, const X86Insn& insn) {
    std::printf("%" PRIx64 " %u %s", address, insn.length, FlowName(insn.flow));
    const uint64_t next = address + insn.length;
    switch (insn.flow) {
    case InsnFlow::Jump:
    case InsnFlow::Branch:
    case InsnFlow::Call:
        std::printf(" %" PRIx64, (next + static_cast<int64_t>(insn.displacement)) & 0xFFFFFFFF);
        break;
    case InsnFlow::ReturnPop:
        std::printf(" %x", insn.popBytes);
        break;
    case InsnFlow::JumpTable:
    case InsnFlow::JumpPointer:
        std::printf(" %x", insn.address);
        break;
    default:
        break;
    }
    std::printf("\n");
}

// Decodes [rva, end) of the file bytes at offset; the last instruction may run past end.
void Sweep(const std::vector<unsigned char>& file, uint64_t offset, uint64_t base, uint32_t rva,
           uint32_t end) {
    while (rva < end && offset < file.size()) {
        X86Insn insn{};
        if (!DecodeX86(file.data() + offset, file.size() - offset, &insn)) {
            std::printf("%" PRIx64 " 0 invalid\n", base + rva);
            return;
        }
        PrintInsn(base + rva, insn);
        rva += insn.length;
        offset += insn.length;
    }
}

int SweepExports(const std::vector<unsigned char>& file) {
    const ByteView view{file.data(), file.size()};
    PeImage image;
    ExportTable table;
    std::string error;
    if (!ParsePeImage(view, &image, &error) || !ReadExportTable(view, image, &table, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<uint32_t> entries;
    for (const ExportEntry& entry : table.entries) {
        if (!entry.data && !entry.forwarded) {
            entries.push_back(entry.address);
        }
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (size_t i = 0; i < entries.size(); ++i) {
        const PeSection* section = FindSection(image, entries[i]);
        if (section == nullptr || !IsExecutable(*section)) {
            continue;
        }
        const uint32_t sectionEnd =
            section->virtualAddress + std::min(section->virtualSize, section->rawSize);
        const uint32_t end =
            i + 1 < entries.size() ? std::min(entries[i + 1], sectionEnd) : sectionEnd;
        uint64_t offset = 0;
        uint64_t rawEnd = 0;
        if (MapRva(image, entries[i], &offset, &rawEnd)) {
            Sweep(file, offset, image.imageBase, entries[i], end);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x86_decoder_sweep DLL\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> file{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    return SweepExports(file);
}
