/* The kernel32 functions the pattern DLLs call, declared as Windows' headers do. */
#define WINAPI __stdcall /* the imports; the DLL's own functions are API */
__declspec(dllimport) __declspec(noreturn) void WINAPI ExitProcess(unsigned code);
__declspec(dllimport) unsigned long WINAPI GetLastError(void);
__declspec(dllimport) unsigned long WINAPI GetTickCount(void);
__declspec(dllimport) void WINAPI SetLastError(unsigned long code);
__declspec(dllimport) void WINAPI Sleep(unsigned long ms);
