#include "archive_writer.h"

#include <algorithm>
#include <cstdint>

namespace {

const char kSignature[] = "!<arch>\n";
constexpr size_t kSignatureSize = 8;
constexpr size_t kMemberHeaderSize = 60;
constexpr size_t kNameFieldSize = 16;
// The second linker member numbers the objects with 16 bits.
constexpr size_t kMaxMembers = 65535;
// Bytes gathered before they go to the sink: few writes, little memory.
constexpr size_t kChunk = size_t(1) << 16;

struct IndexedSymbol {
    std::string_view name;
    uint32_t member; // index into the members
};

size_t Padded(size_t size) {
    return size + size % 2;
}

void PutView(Bytes& out, std::string_view text, bool nulTerminated) {
    out.insert(out.end(), text.begin(), text.end());
    if (nulTerminated)
        out.push_back(0);
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

void PutPadding(Bytes& out, size_t size) {
    if (size % 2 != 0)
        out.push_back('\n');
}

// Member names that do not fit the header's field go to the longnames member, once each;
// the header then holds "/offset". Import libraries name every member after the DLL, so the
// names are kept per distinct member name.
struct HeaderNames {
    Bytes longnames;
    std::vector<std::pair<std::string_view, std::string>> known; // member name, header name
};

const std::string& HeaderNameFor(std::string_view name, HeaderNames* names) {
    auto found = std::find_if(names->known.begin(), names->known.end(),
                              [&](const auto& known) { return known.first == name; });
    if (found != names->known.end())
        return found->second;
    if (name.size() + 1 <= kNameFieldSize) {
        names->known.emplace_back(name, std::string(name) + "/");
    } else {
        names->known.emplace_back(name, "/" + std::to_string(names->longnames.size()));
        PutView(names->longnames, name, true);
    }
    return names->known.back().second;
}

// Every symbol with its member, sorted by name as the second linker member lists them.
std::vector<IndexedSymbol> SortedSymbols(const std::vector<ArchiveMember>& members,
                                         size_t* namesSize) {
    std::vector<IndexedSymbol> symbols;
    symbols.reserve(2 * members.size());
    *namesSize = 0;
    for (uint32_t i = 0; i < members.size(); ++i) {
        for (size_t s = 0; s < members[i].symbolCount; ++s) {
            symbols.push_back({members[i].symbols[s], i});
            *namesSize += members[i].symbols[s].size() + 1;
        }
    }
    std::stable_sort(
        symbols.begin(), symbols.end(),
        [](const IndexedSymbol& a, const IndexedSymbol& b) { return a.name < b.name; });
    return symbols;
}

void DrainWhenFull(Bytes& pending, const ByteSink& sink) {
    if (pending.size() >= kChunk)
        Drain(pending, sink);
}

// First linker member: symbol count, the member offset of each symbol (both big-endian),
// then the names, in member order.
void PutFirstLinkerMember(Bytes& out, const ByteSink& sink,
                          const std::vector<ArchiveMember>& members, size_t symbolCount,
                          const std::vector<uint32_t>& memberOffsets) {
    PutU32BigEndian(out, static_cast<uint32_t>(symbolCount));
    for (size_t i = 0; i < members.size(); ++i) {
        for (size_t s = 0; s < members[i].symbolCount; ++s)
            PutU32BigEndian(out, memberOffsets[i]);
        DrainWhenFull(out, sink);
    }
    for (const ArchiveMember& member : members) {
        for (size_t s = 0; s < member.symbolCount; ++s)
            PutView(out, member.symbols[s], true);
        DrainWhenFull(out, sink);
    }
}

// Second linker member: member count and offsets, symbol count, each symbol's 1-based member
// index (little-endian), then the names, sorted so that the linker can search them.
void PutSecondLinkerMember(Bytes& out, const ByteSink& sink,
                           const std::vector<IndexedSymbol>& sorted,
                           const std::vector<uint32_t>& memberOffsets) {
    PutU32(out, static_cast<uint32_t>(memberOffsets.size()));
    for (uint32_t offset : memberOffsets) {
        PutU32(out, offset);
        DrainWhenFull(out, sink);
    }
    PutU32(out, static_cast<uint32_t>(sorted.size()));
    for (const IndexedSymbol& symbol : sorted) {
        PutU16(out, static_cast<uint16_t>(symbol.member + 1));
        DrainWhenFull(out, sink);
    }
    for (const IndexedSymbol& symbol : sorted) {
        PutView(out, symbol.name, true);
        DrainWhenFull(out, sink);
    }
}

} // namespace

bool WriteArchive(const std::vector<ArchiveMember>& members, const ByteSink& sink,
                  std::string* error) {
    if (members.size() > kMaxMembers) {
        *error = "too many objects for one library: " + std::to_string(members.size()) +
                 ", at most " + std::to_string(kMaxMembers);
        return false;
    }
    size_t namesSize = 0;
    const std::vector<IndexedSymbol> sorted = SortedSymbols(members, &namesSize);
    HeaderNames headerNames;
    for (const ArchiveMember& member : members)
        HeaderNameFor(member.name, &headerNames);
    const Bytes& longnames = headerNames.longnames;

    // The linker members' sizes depend only on the counts and names, so the objects' offsets
    // are known before anything is written.
    const size_t firstSize = 4 + 4 * sorted.size() + namesSize;
    const size_t secondSize = 4 + 4 * members.size() + 4 + 2 * sorted.size() + namesSize;
    uint64_t offset = kSignatureSize + kMemberHeaderSize + Padded(firstSize) + kMemberHeaderSize +
                      Padded(secondSize) + kMemberHeaderSize + Padded(longnames.size());
    std::vector<uint32_t> memberOffsets(members.size(), 0);
    for (size_t i = 0; i < members.size(); ++i) {
        memberOffsets[i] = static_cast<uint32_t>(offset);
        offset += kMemberHeaderSize + Padded(members[i].size);
        if (offset > UINT32_MAX) {
            *error = "the library would reach 4 GiB, more than the format allows";
            return false;
        }
    }

    Bytes out;
    out.reserve(2 * kChunk);
    PutText(out, kSignature, false);
    PutMemberHeader(out, "/", firstSize, false);
    PutFirstLinkerMember(out, sink, members, sorted.size(), memberOffsets);
    PutPadding(out, firstSize);
    PutMemberHeader(out, "/", secondSize, false);
    PutSecondLinkerMember(out, sink, sorted, memberOffsets);
    PutPadding(out, secondSize);
    PutMemberHeader(out, "//", longnames.size(), true);
    out.insert(out.end(), longnames.begin(), longnames.end());
    PutPadding(out, longnames.size());
    const std::string* headerName = nullptr;
    for (size_t i = 0; i < members.size(); ++i) {
        if (i == 0 || members[i].name != members[i - 1].name)
            headerName = &HeaderNameFor(members[i].name, &headerNames);
        PutMemberHeader(out, *headerName, members[i].size, false);
        out.insert(out.end(), members[i].data, members[i].data + members[i].size);
        PutPadding(out, members[i].size);
        DrainWhenFull(out, sink);
    }
    Drain(out, sink);
    return true;
}
