#include "byte_writer.h"

void PutU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value) {
    PutU16(out, static_cast<uint16_t>(value));
    PutU16(out, static_cast<uint16_t>(value >> 16));
}

void PutU32BigEndian(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutZeros(Bytes& out, size_t count) {
    out.insert(out.end(), count, 0);
}

void PutText(Bytes& out, const std::string& text, bool nulTerminated) {
    out.insert(out.end(), text.begin(), text.end());
    if (nulTerminated)
        out.push_back(0);
}

void PutField(Bytes& out, const std::string& text, size_t width, char pad) {
    std::string field = text.substr(0, width);
    field.resize(width, pad);
    PutText(out, field, false);
}

void PatchU32(Bytes& out, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Drain(Bytes& pending, const ByteSink& sink) {
    if (sink.bytes != nullptr)
        sink.bytes->insert(sink.bytes->end(), pending.begin(), pending.end());
    else
        std::fwrite(pending.data(), 1, pending.size(), sink.file);
    pending.clear();
}
