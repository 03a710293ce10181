// Path helpers: split a path into directory, name and extension. Each owns
// one static result buffer, reused on every call; input that would not fit
// the buffer is cut to it.
#include <cstring>

#include "utils.h"

namespace {

// Copies as much of path as fits, always terminated.
template <size_t N>
char* CopyCut(char (&buf)[N], const char* path)
{
    size_t len = strnlen(path, N - 1);
    std::memcpy(buf, path, len);
    buf[len] = '\0';
    return buf;
}

// Cuts name at its first '.' after the leading dots, so hidden names such as
// ".profile" keep their only dot.
char* CutExt(char* name)
{
    char* p = name;
    while (*p == '.')
        ++p;
    if (char* dot = std::strchr(p, '.'))
        *dot = '\0';
    return name;
}

// The last '/'-separated component of buf, with trailing slashes removed in
// place. A buffer that has no component (empty, or only slashes) is left
// unchanged and returned whole.
char* LastComponent(char* buf)
{
    size_t len = std::strlen(buf);
    while (len > 0 && buf[len - 1] == '/')
        --len;
    if (len == 0)
        return buf;
    buf[len] = '\0';
    char* slash = std::strrchr(buf, '/');
    return slash != nullptr ? slash + 1 : buf;
}

}  // namespace

char* StripExt(const char* path)
{
    static char buf[128];
    if (path == nullptr)
        return CopyCut(buf, "");
    return CutExt(CopyCut(buf, path));
}

char* StripPath(const char* path)
{
    static char buf[128];
    if (path == nullptr)
        return CopyCut(buf, "");
    return LastComponent(CopyCut(buf, path));
}

char* StripPathExt(const char* path)
{
    static char buf[128];
    if (path == nullptr)
        return CopyCut(buf, "");
    return CutExt(LastComponent(CopyCut(buf, path)));
}

// The directory part: the path without its last component and the '/'
// before it. Only one trailing '/' goes ("a/b/" gives "a/b"); a path
// without '/' lives in ".".
char* StripFn(const char* path)
{
    static char buf[256];
    if (path == nullptr || *path == '\0')
        return std::strcpy(buf, ".");
    size_t len = std::strlen(CopyCut(buf, path));
    while (len > 0 && buf[len - 1] != '/')
        buf[--len] = '\0';
    if (len == 0)
        return std::strcpy(buf, ".");
    if (len > 1)
        buf[len - 1] = '\0';
    return buf;
}

// The first component when the path has no '.' after it, or whose text after
// its first '.' begins a new directory level; otherwise the last of the
// '.'-separated pieces before such a level ("dir/name.ext" gives "ext").
char* StripPathName(const char* path)
{
    static char buf[128];
    if (path == nullptr || FindToken(path, ";.;..;") != 0)
        return CopyCut(buf, "");
    CopyCut(buf, path);
    char* save = nullptr;
    strtok_r(buf, "/", &save);
    char* piece = strtok_r(nullptr, ".", &save);
    if (piece == nullptr || piece[1] == '/')
        return buf;
    char* last = piece;
    while ((piece = strtok_r(nullptr, ".", &save)) != nullptr && piece[1] != '/')
        last = piece;
    return last;
}
