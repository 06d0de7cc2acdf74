/* Item 3: jump tables bounded by `and reg, mask`. */

static volatile int sink;

int API Digest(const unsigned char* data, int length, int seed) {
    int h = seed;
    for (int i = 0; i < length; ++i) {
        switch (data[i] & 7) {
        case 0: h = h * 31 + 1; break;
        case 1: h ^= h >> 3; break;
        case 2: h += 0x9E37; break;
        case 3: h = (h << 5) - h; break;
        case 4: h -= data[i]; break;
        case 5: h = ~h; break;
        case 6: h *= 17; break;
        case 7: h += i; break;
        }
    }
    return h;
}
int API Step(unsigned op, int value) {
    switch (op & 3) {
    case 0: sink = value; return value + 1;
    case 1: sink = -value; return value * 7;
    case 2: sink = value >> 2; return value - 9;
    default: sink = 3; return value ^ 0x55;
    }
}
