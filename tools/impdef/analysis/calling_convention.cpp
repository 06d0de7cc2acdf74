#include "calling_convention.h"

#include "argument_registers.h"

#include <string>

ConventionFinding FindConvention(const CodeImage& image, CodeAnalysis* analysis, uint32_t entry) {
    ConventionFinding finding = FindReturnKind(image, analysis, entry);
    if (finding.kind == ConventionKind::Stdcall && ReadsArgumentRegisters(image, analysis, entry)) {
        finding = {ConventionKind::Unknown, 0,
                   "it returns with ret " + std::to_string(finding.argumentBytes) +
                       " but reads ecx or edx before setting them (fastcall or thiscall?)"};
    }
    return finding;
}
