// Helpers of the queries that take command output apart and build their
// answers: columns of a line, and a text that grows as needed.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "MemMgr.h"
#include "utils.h"

// The n-th column (from 1) of an output line, columns separated by blanks,
// tabs and line ends; empty when the line has fewer.
inline std::string_view OutputField(std::string_view line, int n)
{
    constexpr std::string_view blanks = " \t\r\n";
    size_t start = 0;
    for (int i = 1;; ++i) {
        start = line.find_first_not_of(blanks, start);
        if (start == std::string_view::npos)
            return {};
        size_t end = line.find_first_of(blanks, start);
        if (end == std::string_view::npos)
            end = line.size();
        if (i == n)
            return line.substr(start, end - start);
        start = end;
    }
}

// A saved string built piece by piece; what is not taken is freed.
class GrowText {
public:
    GrowText() = default;
    GrowText(const GrowText&) = delete;
    GrowText& operator=(const GrowText&) = delete;
    ~GrowText() { PutMem(text_); }

    void Add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        va_list sizing;
        va_copy(sizing, args);
        int n = std::vsnprintf(nullptr, 0, format, sizing);
        va_end(sizing);
        if (n < 0 || n > 0x7ffffffe - length_)
            SysError("%s", OutOfMem);
        auto* grown = static_cast<char*>(AdjustMem(text_, length_ + n + 1));
        if (!grown)
            SysError("%s", OutOfMem);
        text_ = grown;
        std::vsnprintf(text_ + length_, static_cast<size_t>(n) + 1, format, args);
        length_ += n;
        va_end(args);
    }

    bool Empty() const { return length_ == 0; }

    // The text (null when nothing was added); the caller frees it.
    char* Take()
    {
        char* text = text_;
        text_ = nullptr;
        length_ = 0;
        return text;
    }

private:
    char* text_ = nullptr;
    int length_ = 0;
};
