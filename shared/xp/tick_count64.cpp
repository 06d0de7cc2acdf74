#include "tick_count64.h"

ULONGLONG TickCount64From(TickCount64Function newer, TickCountFunction older,
                          std::atomic<ULONGLONG>& last) {
    if (newer)
        return newer();
    const ULONGLONG kWrap = 1ULL << 32;
    ULONGLONG before = last.load();
    ULONGLONG count;
    do {
        // Read after `before`, so a smaller 32-bit count than its low half means a wrap.
        const DWORD now = older();
        count = (before & ~(kWrap - 1)) | now;
        if (now < static_cast<DWORD>(before))
            count += kWrap;
    } while (!last.compare_exchange_weak(before, count));
    return count;
}

namespace {

// kernel32's GetTickCount64, or nullptr where there is none. Looked up on the first call; a
// thread that comes at the same time looks up the same function.
TickCount64Function KernelTickCount64() {
    static std::atomic<bool> lookedUp{false};
    static std::atomic<TickCount64Function> found{nullptr};
    if (!lookedUp.load()) {
        found = reinterpret_cast<TickCount64Function>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
        lookedUp = true;
    }
    return found.load();
}

ULONGLONG WINAPI ProgramTickCount64() {
    static std::atomic<ULONGLONG> last{0};
    return TickCount64From(KernelTickCount64(), GetTickCount, last);
}

} // namespace

// The import slot the thread library calls through: defined here, the linker takes it
// instead of kernel32's import, so the programs load where kernel32 has no GetTickCount64.
#ifdef _WIN64
#define MORVANE_IMPORT_SLOT "__imp_GetTickCount64"
#else
#define MORVANE_IMPORT_SLOT "__imp__GetTickCount64@0"
#endif
extern "C" {
extern const TickCount64Function g_getTickCount64Import __asm__(MORVANE_IMPORT_SLOT);
const TickCount64Function g_getTickCount64Import = ProgramTickCount64;
}
