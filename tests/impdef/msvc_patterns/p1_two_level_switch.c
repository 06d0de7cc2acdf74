/* Item 1: switches of 200 cases with few distinct bodies. clang makes one jump table of 200
   entries (or a table of values); Microsoft's compiler makes two levels, a byte table bounded
   by the compare and an address table of max(byte) + 1 entries, as TwoLevel does by hand. */
static volatile int sink;

static __declspec(noinline) void Act(int how, int value) { sink = how * value; }

#define C4(n, v)                                                                                   \
    case n: Act(v, extra); break;                                                                  \
    case n + 1: Act(v + 1, extra); break;                                                          \
    case n + 2: Act(v, extra); break;                                                              \
    case n + 3: Act(v + 2, extra); break;
#define C20(n) C4(n, 1) C4(n + 4, 2) C4(n + 8, 1) C4(n + 12, 3) C4(n + 16, 2)
int API Classify(int code, int extra) {
    switch (code) {
        C20(0) C20(20) C20(40) C20(60) C20(80) C20(100) C20(120) C20(140) C20(160) C20(180)
    default: sink = extra; break;
    }
    return sink;
}

/* int TwoLevel(unsigned code, int value): 3 bodies chosen through a byte table of 201. */
__declspec(naked) int API TwoLevel(unsigned code, int value) {
    __asm__("movl 4(%esp), %ecx\n"
            "movl 8(%esp), %eax\n"
            "cmpl $200, %ecx\n"
            "ja 4f\n"
            "movzbl 2f(%ecx), %ecx\n"
            "jmpl *1f(,%ecx,4)\n"
            "5: addl %eax, %eax\n"
            "ret $8\n"
            "6: negl %eax\n"
            "ret $8\n"
            "4: xorl %eax, %eax\n"
            "ret $8\n"
            ".section .rdata,\"dr\"\n"
            ".p2align 2\n"
            "1: .long 5b, 6b, 4b\n"
            "2: .rept 100\n"
            ".byte 0, 1\n"
            ".endr\n"
            ".byte 2\n"
            ".text\n");
}

/* int TwoSwitches(unsigned a, unsigned b): two two-level switches one after the other, their
   tables after the code as Visual C++ 2017 lays them out. The first reads its byte table
   through the index before 1 was taken from it, so only the compare of the copy bounds it. */
__declspec(naked) int API TwoSwitches(unsigned a, unsigned b) {
    __asm__("pushl %esi\n"
            "movl 8(%esp), %esi\n"
            "leal -1(%esi), %eax\n"
            "cmpl $32, %eax\n"
            "ja 13f\n"
            "movzbl 12f-1(%esi), %eax\n"
            "jmpl *11f(,%eax,4)\n"
            "14: movl $1, %edx\n"
            "jmp 15f\n"
            "16: movl $2, %edx\n"
            "jmp 15f\n"
            "13: xorl %edx, %edx\n"
            "15: movl 12(%esp), %esi\n"
            "cmpl $20, %esi\n"
            "ja 23f\n"
            "movzbl 22f(%esi), %eax\n"
            "jmpl *21f(,%eax,4)\n"
            "24: leal 3(%edx), %eax\n"
            "popl %esi\n"
            "ret $8\n"
            "26: leal 5(%edx), %eax\n"
            "popl %esi\n"
            "ret $8\n"
            "23: movl %edx, %eax\n"
            "popl %esi\n"
            "ret $8\n"
            ".p2align 2\n"
            "11: .long 14b, 16b, 13b\n"
            "12: .rept 16\n"
            ".byte 0, 1\n"
            ".endr\n"
            ".byte 2\n"
            ".p2align 2\n"
            "21: .long 24b, 26b, 23b\n"
            "22: .rept 10\n"
            ".byte 1, 0\n"
            ".endr\n"
            ".byte 2\n"
            ".p2align 4\n");
}
