/* Item 6: a jump to a computed address (labels as values). */

int API Interpret(const unsigned char* code, int count) {
    static void* const ops[] = {&&add, &&sub, &&twice, &&stop};
    int acc = 0, i = 0;
next:
    if (i >= count)
        return acc;
    goto* ops[code[i++] & 3];
add:
    acc += 1;
    goto next;
sub:
    acc -= 1;
    goto next;
twice:
    acc *= 2;
    goto next;
stop:
    return -acc;
}
int API Plain(int a, int b) { return a - b; }
