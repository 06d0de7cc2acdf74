#pragma once
// Code for the analyses' tests: an image whose only section, executable, holds the bytes of a
// case at kCodeRva, with three import slots the cases call and jump through.

#include "code_image.h"

#include <cstdint>
#include <vector>

constexpr uint32_t kCodeRva = 0x1000;
constexpr uint32_t kImageBase = 0x10000000;
constexpr uint32_t kSleep = 0x10002000, kBeep = 0x10002004, kLongjmp = 0x10002008;

// The image reads `bytes`, which must outlive it.
CodeImage CodeImageOf(const std::vector<unsigned char>& bytes, std::vector<uint32_t> entries);
