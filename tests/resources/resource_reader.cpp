#include "resource_reader.h"

#include "gui_driver.h"

#include <cstring>

namespace {

template <typename T> bool ReadPlain(std::string_view bytes, uint64_t offset, T& out) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, bytes.data() + offset, sizeof(T)); // x86 is little-endian, like PE
    return true;
}

} // namespace

HMODULE MorvaneImage() {
    static HMODULE image =
        LoadLibraryExA(WindowsPathOf(MORVANE_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return image;
}

std::string_view ResourceBytes(HMODULE image, LPCSTR type, int id) {
    HRSRC resource = FindResourceExA(image, type, MAKEINTRESOURCEA(id),
                                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    HGLOBAL loaded = resource ? LoadResource(image, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return std::string_view(static_cast<const char*>(bytes), SizeofResource(image, resource));
}

bool ReadU8(std::string_view bytes, uint64_t offset, uint8_t& out) {
    return ReadPlain(bytes, offset, out);
}
bool ReadU16(std::string_view bytes, uint64_t offset, uint16_t& out) {
    return ReadPlain(bytes, offset, out);
}
bool ReadU32(std::string_view bytes, uint64_t offset, uint32_t& out) {
    return ReadPlain(bytes, offset, out);
}
bool ReadI16(std::string_view bytes, uint64_t offset, int16_t& out) {
    return ReadPlain(bytes, offset, out);
}

bool ReadWideString(std::string_view bytes, uint64_t offset, std::u16string& out, uint64_t& next) {
    out.clear();
    for (uint16_t unit = 0;; offset += 2) {
        if (!ReadU16(bytes, offset, unit)) {
            return false;
        }
        if (unit == 0) {
            next = offset + 2;
            return true;
        }
        out.push_back(static_cast<char16_t>(unit));
    }
}

uint64_t AlignToDword(uint64_t offset) {
    return (offset + 3) & ~uint64_t{3};
}
