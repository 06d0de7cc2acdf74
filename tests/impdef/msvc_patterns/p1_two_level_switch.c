/* Item 1: dense switches of 200 cases with few distinct bodies. */

static volatile int sink;
#define C4(n, v)                                                                                   \
    case n: r = v; break;                                                                          \
    case n + 1: r = v * 3; break;                                                                  \
    case n + 2: r = v + 1; break;                                                                  \
    case n + 3: r = v; break;
#define C20(n, v) C4(n, v) C4(n + 4, v + 2) C4(n + 8, v) C4(n + 12, v + 3) C4(n + 16, v)
int API Classify(int code, int extra) {
    int r;
    switch (code) {
        C20(0, 1) C20(20, 5) C20(40, 1) C20(60, 7) C20(80, 5)
        C20(100, 1) C20(120, 5) C20(140, 7) C20(160, 1) C20(180, 5)
    default: r = extra; break;
    }
    sink = r;
    return r * extra;
}
int API Lookup(unsigned code) {
    int r = -1;
    switch (code) {
        C20(0, 3) C20(20, 9) C20(40, 3) C20(60, 9) C20(80, 3)
        C20(100, 9) C20(120, 3) C20(140, 9) C20(160, 3) C20(180, 9)
    }
    sink = r;
    return r;
}
