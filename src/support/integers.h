// The integer grammar of the settings file and the Options dialog's field, and numbers
// back to text.
#pragma once

#include <cstdint>
#include <string>

// Leading spaces; decimal with optional sign; or hexadecimal after "$", "x", "X", "0x" or
// "0X" with at most 8 significant digits; nothing may follow.
struct TParsedInt {
    bool valid;
    int32_t value;  // the number, or for invalid text the digits read before the stop, unsigned
};
TParsedInt ParseInt(const char* text);
int32_t ParseIntOr(const std::string& text, int32_t fallback);
int32_t ParseIntLenient(const std::string& text);
std::string FormatInt(int32_t value);
