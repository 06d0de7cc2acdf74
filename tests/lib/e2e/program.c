/* Calls the test DLL by name or ordinal (as the import library says), through the
   undecorated name of a stdcall function, by an ordinal-only export and through the decorated
   name of a fastcall function, reads its variable, and prints what it got. No Windows headers:
   it declares what it uses. The ordinal-only export is called by the name the .def gives it:
   SECRET_CODE, secret_code unless defined otherwise. */
typedef unsigned long DWORD;
typedef void* HANDLE;

__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, DWORD size,
                                              DWORD* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

__declspec(dllimport) int __cdecl add_numbers(int a, int b);
__declspec(dllimport) int __stdcall multiply(int a, int b);
#ifndef SECRET_CODE
#define SECRET_CODE secret_code
#endif
__declspec(dllimport) int __cdecl SECRET_CODE(void);
__declspec(dllimport) int __fastcall fast_sum(int a, int b, int c);
__declspec(dllimport) extern int shared_value;

#define STD_OUTPUT_HANDLE ((DWORD)-11)

static void Print(const char* label, int value) {
    char line[64];
    DWORD n = 0, written = 0;
    char digits[12];
    int d = 0;
    unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
    while (*label && n < 40)
        line[n++] = *label++;
    if (value < 0)
        line[n++] = '-';
    do {
        digits[d++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (d > 0)
        line[n++] = digits[--d];
    line[n++] = '\n';
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, n, &written, 0);
}

void __cdecl start(void) {
    Print("add_numbers(2, 3) = ", add_numbers(2, 3));
    Print("multiply(6, 7) = ", multiply(6, 7));
    Print("secret_code() = ", SECRET_CODE());
    Print("shared_value = ", shared_value);
    Print("fast_sum(2, 3, 4) = ", fast_sum(2, 3, 4));
    ExitProcess(0);
}
