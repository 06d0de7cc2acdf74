/* Item 5: structures returned through a hidden pointer, beside functions returning their
   first pointer argument. */

typedef struct { int a, b, c; } Triple;
typedef struct { int x, y; } Pair;
static volatile int sink;

Triple API Search(const char* text, int length) {
    Triple t = {0, 0, 0};
    for (int i = 0; i < length; ++i)
        if (text[i] == 'x') {
            t.a = i;
            t.b = length - i;
            t.c = text[i + 1];
        }
    return t;
}
Triple API MakeTriple(int a, int b) {
    Triple t = {a, b, a + b};
    return t;
}
Pair API MakePair(int x, int y) {
    Pair p = {x, y};
    return p;
}
char* API CopyText(char* to, const char* from) {
    char* p = to;
    while ((*p++ = *from++) != 0) {
    }
    return to;
}
int* API Fill3(int* to, int value) {
    to[0] = value;
    to[1] = value + 1;
    to[2] = value + 2;
    return to;
}
int* API Store(int* to, int value) {
    *to = value;
    sink = value;
    return to;
}
