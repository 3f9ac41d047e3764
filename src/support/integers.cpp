// The integer grammar and numbers back to text.
#include "integers.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

TParsedInt ParseInt(const char* text) {
    const char* p = text;
    while (*p == ' ') ++p;

    int hexPrefix = 0;
    if (*p == '$' || *p == 'x' || *p == 'X') hexPrefix = 1;
    else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) hexPrefix = 2;

    if (hexPrefix) {
        p += hexPrefix;
        uint32_t value = 0;
        int significant = 0;
        bool anyDigit = false;
        for (int d; (d = HexDigit(*p)) >= 0; ++p) {
            if (significant > 0 || d != 0) ++significant;
            if (significant > 8) break;  // a ninth significant digit stops the parse
            value = value * 16 + static_cast<uint32_t>(d);
            anyDigit = true;
        }
        return {anyDigit && *p == '\0', static_cast<int32_t>(value)};
    }

    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    constexpr uint64_t kMaxMagnitude = 2147483648u;  // of -2147483648
    uint64_t magnitude = 0;
    bool anyDigit = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const uint64_t next = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (next > kMaxMagnitude) break;  // out of range stops the parse
        magnitude = next;
        anyDigit = true;
    }
    const bool inRange = negative ? magnitude <= kMaxMagnitude : magnitude < kMaxMagnitude;
    if (anyDigit && *p == '\0' && inRange) {
        return {true, negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(magnitude))
                               : static_cast<int32_t>(magnitude)};
    }
    // Invalid: the digits read so far, without the sign, kept within the positive range.
    return {false, static_cast<int32_t>(magnitude < kMaxMagnitude ? magnitude : kMaxMagnitude - 1)};
}

int32_t ParseIntOr(const char* text, int32_t fallback) {
    const TParsedInt parsed = ParseInt(text);
    return parsed.valid ? parsed.value : fallback;
}

int32_t ParseIntLenient(const char* text) { return ParseInt(text).value; }

TNumberText FormatInt(int32_t value) {
    char digits[12];
    char* end = digits + sizeof digits;
    char* p = end;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return TNumberText(p, static_cast<size_t>(end - p));
}
