// GetTickCount64 for the programs' runtime on every Windows they run on. The statically linked
// thread library calls kernel32's GetTickCount64, which Windows XP lacks; tick_count64.cpp
// gives it this count instead.
#pragma once

#include <windows.h>

#include <atomic>

using TickCount64Function = ULONGLONG(WINAPI*)();
using TickCountFunction = DWORD(WINAPI*)();

// Milliseconds: `newer` (kernel32's GetTickCount64, since Windows started) when given, otherwise
// the 32-bit `older` (GetTickCount) carried on past each of its wraps, every 49.7 days.
// `last` holds the count returned last and must start at 0; calls may come from any thread.
ULONGLONG TickCount64From(TickCount64Function newer, TickCountFunction older,
                          std::atomic<ULONGLONG>& last);
