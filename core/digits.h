#pragma once

// The value of `c` as a digit of `base` (10 or 16; hex digits in either
// case), or -1: digitValue(u'b', 16) == 11, digitValue(u'b', 10) == -1.
constexpr int digitValue(char16_t c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
