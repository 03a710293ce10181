// The frame every in-place edit shares: the names of the input and of its
// companion output, opening both, reading the input in pieces, and putting
// the output in the place of the input.
#pragma once

#include <cstddef>
#include <string_view>

// Names of edited files hold at most 127 characters, as Fn and FnOut do.
inline constexpr size_t kEditNameSize = 128;

struct EditNames {
    char in[kEditNameSize];   // "base.ext", or base alone for an empty ext
    char out[kEditNameSize];  // "base.extout", or "base.out"
};

// Forms both names; a name that does not fit ends the process as an open
// failure (ENAMETOOLONG): a cut name would be some other file.
void FormEditNames(EditNames& names, const char* base, const char* ext);

// Opens pIn on names.in and a new, empty pOut on names.out, both at the
// fatal level.
void OpenEditFiles(const EditNames& names);

// A line of the input with its line end; a line longer than 510 characters
// comes in pieces of 510, each given as a line of its own.
struct EditPiece {
    static constexpr size_t kMaxChars = 510;
    char text[kMaxChars + 1];  // the characters and the line end, no NUL
    size_t length = 0;

    std::string_view View() const { return {text, length}; }
};

// Next piece of pIn; false at the end of the input (or when it cannot be
// read, which FinishEdit reports).
bool ReadEditPiece(EditPiece& piece);

// Appends text to pOut; a failure is kept for FinishEdit.
void WriteEdit(std::string_view text);

// Closes pIn and pOut and, when the input was read whole and the output
// written whole, renames the output over the input. Otherwise the failure
// is reported as a warning, the output removed and the input left as it was.
void FinishEdit(const char* in, const char* out);
