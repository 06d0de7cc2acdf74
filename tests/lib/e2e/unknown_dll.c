/* A DLL whose two stdcall functions qen_impdef cannot decorate, exported undecorated
   (--kill-at): quit never returns, and suspect reads ECX before setting it, as a fastcall or
   thiscall function would. */
__declspec(dllimport) __attribute__((noreturn)) void __stdcall ExitProcess(unsigned code);

__declspec(dllexport) __attribute__((noreturn)) void __stdcall quit(int code) {
    ExitProcess((unsigned)code);
}

/* int __stdcall suspect(int value): value, after a use of ECX that changes nothing. */
__asm__(".section .drectve\n"
        ".ascii \" -export:suspect@4\"\n"
        ".text\n"
        ".globl _suspect@4\n"
        "_suspect@4:\n"
        "movl %ecx, %edx\n"
        "movl 4(%esp), %eax\n"
        "addl %edx, %eax\n"
        "subl %edx, %eax\n"
        "ret $4\n");
