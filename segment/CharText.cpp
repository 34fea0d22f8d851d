#include "segment/CharText.h"

int NextCharKey(const char* text, int* key)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (p[0] == 0) {
        *key = -1;
        return 0;
    }
    if (p[0] < 0x80) {
        *key = p[0];
        return 1;
    }
    if (p[1] == 0) {
        *key = int(p[0]) - 256;
        return 1;
    }
    *key = p[0] * 256 + p[1];
    return 2;
}
