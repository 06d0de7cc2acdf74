#include "archive_writer.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

namespace {

const char kSignature[] = "!<arch>\n";
constexpr size_t kSignatureSize = 8;
constexpr size_t kMemberHeaderSize = 60;
constexpr size_t kNameFieldSize = 16;
// The second linker member numbers the objects with 16 bits.
constexpr size_t kMaxMembers = 65535;

struct IndexedSymbol {
    std::string name;
    uint32_t member; // index into the members
};

size_t Padded(size_t size) {
    return size + size % 2;
}

// Member header: name, date, user, group, mode, size (decimal text), end marker.
void PutMemberHeader(Bytes& out, const std::string& name, size_t size, bool blankFields) {
    PutField(out, name, kNameFieldSize, ' ');
    PutField(out, blankFields ? "" : "0", 12, ' ');
    PutField(out, blankFields ? "" : "0", 6, ' ');
    PutField(out, blankFields ? "" : "0", 6, ' ');
    PutField(out, blankFields ? "" : "644", 8, ' ');
    PutField(out, std::to_string(size), 10, ' ');
    PutText(out, "`\n", false);
}

void PutMember(Bytes& out, const std::string& headerName, const Bytes& data, bool blankFields) {
    PutMemberHeader(out, headerName, data.size(), blankFields);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2 != 0)
        out.push_back('\n');
}

// Member names that do not fit the header's field go to the longnames member, once each;
// the header then holds "/offset".
std::vector<std::string> HeaderNames(const std::vector<ArchiveMember>& members, Bytes* longnames) {
    std::map<std::string, size_t> offsets;
    std::vector<std::string> names;
    for (const ArchiveMember& member : members) {
        if (member.name.size() + 1 <= kNameFieldSize) {
            names.push_back(member.name + "/");
            continue;
        }
        const auto found = offsets.emplace(member.name, longnames->size());
        if (found.second)
            PutText(*longnames, member.name, true);
        names.push_back("/" + std::to_string(found.first->second));
    }
    return names;
}

// First linker member: symbol count, the member offset of each symbol (both big-endian),
// then the names, in member order.
Bytes FirstLinkerMember(const std::vector<IndexedSymbol>& symbols,
                        const std::vector<uint32_t>& memberOffsets) {
    Bytes out;
    PutU32BigEndian(out, static_cast<uint32_t>(symbols.size()));
    for (const IndexedSymbol& symbol : symbols)
        PutU32BigEndian(out, memberOffsets[symbol.member]);
    for (const IndexedSymbol& symbol : symbols)
        PutText(out, symbol.name, true);
    return out;
}

// Second linker member: member count and offsets, symbol count, each symbol's 1-based member
// index (little-endian), then the names, sorted so that the linker can search them.
Bytes SecondLinkerMember(std::vector<IndexedSymbol> symbols,
                         const std::vector<uint32_t>& memberOffsets) {
    std::stable_sort(
        symbols.begin(), symbols.end(),
        [](const IndexedSymbol& a, const IndexedSymbol& b) { return a.name < b.name; });
    Bytes out;
    PutU32(out, static_cast<uint32_t>(memberOffsets.size()));
    for (uint32_t offset : memberOffsets)
        PutU32(out, offset);
    PutU32(out, static_cast<uint32_t>(symbols.size()));
    for (const IndexedSymbol& symbol : symbols)
        PutU16(out, static_cast<uint16_t>(symbol.member + 1));
    for (const IndexedSymbol& symbol : symbols)
        PutText(out, symbol.name, true);
    return out;
}

} // namespace

bool WriteArchive(const std::vector<ArchiveMember>& members, Bytes* archive, std::string* error) {
    if (members.size() > kMaxMembers) {
        *error = "too many objects for one library: " + std::to_string(members.size()) +
                 ", at most " + std::to_string(kMaxMembers);
        return false;
    }
    std::vector<IndexedSymbol> symbols;
    for (uint32_t i = 0; i < members.size(); ++i)
        for (const std::string& name : members[i].symbols)
            symbols.push_back({name, i});
    Bytes longnames;
    const std::vector<std::string> headerNames = HeaderNames(members, &longnames);

    // The linker members' sizes depend only on the counts and names, so the objects' offsets
    // are known before anything is written: measure with placeholder offsets.
    std::vector<uint32_t> memberOffsets(members.size(), 0);
    const size_t firstSize = FirstLinkerMember(symbols, memberOffsets).size();
    const size_t secondSize = SecondLinkerMember(symbols, memberOffsets).size();
    size_t offset = kSignatureSize + kMemberHeaderSize + Padded(firstSize) + kMemberHeaderSize +
                    Padded(secondSize) + kMemberHeaderSize + Padded(longnames.size());
    for (size_t i = 0; i < members.size(); ++i) {
        memberOffsets[i] = static_cast<uint32_t>(offset);
        offset += kMemberHeaderSize + Padded(members[i].data.size());
        if (offset > UINT32_MAX) {
            *error = "the library would reach 4 GiB, more than the format allows";
            return false;
        }
    }

    Bytes& out = *archive;
    out.clear();
    out.reserve(offset);
    PutText(out, kSignature, false);
    PutMember(out, "/", FirstLinkerMember(symbols, memberOffsets), false);
    PutMember(out, "/", SecondLinkerMember(symbols, memberOffsets), false);
    PutMember(out, "//", longnames, true);
    for (size_t i = 0; i < members.size(); ++i)
        PutMember(out, headerNames[i], members[i].data, false);
    return true;
}
