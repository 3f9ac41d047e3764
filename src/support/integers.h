// The integer grammar of the settings file and the Options dialog's field, and numbers
// back to text.
#pragma once

#include "text.h"

#include <cstdint>

// Leading spaces; decimal with optional sign; or hexadecimal after "$", "x", "X", "0x" or
// "0X" with at most 8 significant digits; nothing may follow.
struct TParsedInt {
    bool valid;
    int32_t value;  // the number, or for invalid text the digits read before the stop, unsigned
};
TParsedInt ParseInt(const char* text);
int32_t ParseIntOr(const char* text, int32_t fallback);
int32_t ParseIntLenient(const char* text);
// Decimal, "-" for negatives, no leading zeros: at most 11 characters.
using TNumberText = TText<char, 11>;
TNumberText FormatInt(int32_t value);
