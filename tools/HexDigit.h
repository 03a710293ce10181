// The value of a hexadecimal digit, for the tools' escapes in text forms.
#pragma once

// 0 to 15, or -1 for a character that is not a hexadecimal digit.
inline int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
