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
