// The distribution's piece list on arbitrary bytes: names lie inside the
// list and hold no separator, the list ends at its end_of_list, capitals
// change letters before it only, and every name judged safe for the
// commands holds only the characters they take literally.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "Installer.h"

namespace {

void Require(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool SafeCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("._-+,:=@%", c) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The list is read into LineBuf as text: it ends at a NUL.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string list = bytes.substr(0, bytes.find('\0'));
    const char* begin = list.c_str();
    const char* end = begin + list.size();

    const char* pos = begin;
    std::string_view name;
    size_t names = 0;
    const char* lastEnd = begin;
    while (NextPieceName(&pos, &name)) {
        Require(name.data() >= lastEnd && name.data() + name.size() <= end);
        Require(name.find_first_of(" \t\r\n") == std::string_view::npos);
        Require(name != PIECE_LIST_END);
        lastEnd = name.data() + name.size();
        ++names;
        if (IsSafePieceName(name)) {
            Require(name != "." && name != "..");
            for (char c : name)
                Require(SafeCharacter(c));
        }
        Require(IsArchivePiece(name) ==
                (name.substr(0, 8) == "pkg_tar." || name.substr(0, 8) == "PKG_TAR."));
    }
    Require(pos <= end);
    Require(static_cast<bool>(PieceListEnds(begin)) == (name == PIECE_LIST_END));

    // Capitals: the same length, the same names, changed only before the end.
    std::string upper = list;
    UpperCasePieceList(upper.data());
    Require(upper.size() == list.size());
    const size_t stop = PieceListEnds(begin) ? static_cast<size_t>(name.data() - begin) : list.size();
    for (size_t i = 0; i < list.size(); ++i) {
        const char expected =
            i < stop ? static_cast<char>(std::toupper(static_cast<unsigned char>(list[i]))) : list[i];
        Require(upper[i] == expected);
    }
    const char* upos = upper.c_str();
    size_t upperNames = 0;
    while (NextPieceName(&upos, &name))
        ++upperNames;
    Require(upperNames == names);
    return 0;
}
