// Line input from standard input: answers to the program's questions.
#include "utils.h"

#include <cstdio>

// Reads no further than size - 1 characters, so the rest of a longer line
// stays unread for the next call. Every byte value is data (0xFF too): only
// a real end of input ends the line early.
char* Gets(char* buffer, int size)
{
    if (!buffer || size < 1)
        return nullptr;
    int count = 0;
    bool atEnd = false;
    while (count < size - 1) {
        const int c = std::getchar();
        if (c == EOF) {
            atEnd = true;
            break;
        }
        if (c == '\n')
            break;
        buffer[count++] = static_cast<char>(c);
    }
    buffer[count] = '\0';
    return atEnd && count == 0 ? nullptr : buffer;
}
