// Placement-list lines and package-map lines from the unpacked archive, on
// arbitrary bytes: every word found lies inside the line, the walk through
// commands, conditions and attribute pairs always ends, and release
// comparison is a consistent order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Installer.h"

namespace {

void Require(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// The word lies within the text [begin, end).
void RequireInside(std::string_view word, const char* begin, const char* end)
{
    Require(word.empty() || (word.data() >= begin && word.data() + word.size() <= end));
}

void WalkPkgList(const std::string& line)
{
    const char* begin = line.c_str();
    const char* end = begin + line.size();
    PkgListStep step;
    const char* text = begin;
    // Conditions chain: each one consumes words, so the chain ends.
    while (ParsePkgListStep(text, &step)) {
        RequireInside(step.word, begin, end);
        RequireInside(step.file, begin, end);
        RequireInside(step.extra, begin, end);
        Require(step.rest > text && step.rest <= end);
        Require(step.word.find_first_of(" \r\n") == std::string_view::npos);
        if (step.command == PKG_COMMENT)
            return;
        if (step.command != PKG_RELEASE)
            break;
        Require(ReleaseConditionHolds(step.file, step.extra, step.extra) != 0 ||
                step.file == "<" || step.file == ">");
        text = step.rest;
    }
    PkgListAttribute attribute;
    for (const char* pos = step.rest ? step.rest : begin;
         ParsePkgListAttribute(pos, &attribute); pos = attribute.rest) {
        RequireInside(attribute.name, begin, end);
        RequireInside(attribute.value, begin, end);
        Require(!attribute.value.empty() && attribute.rest > pos && attribute.rest <= end);
        if (attribute.key == PKG_ATTR_SED)
            Require(attribute.rest == end);
    }
}

void CompareReleases(const std::string& text)
{
    const size_t cut = text.find('|');
    if (cut == std::string::npos)
        return;
    std::string_view a(text.data(), cut);
    std::string_view b(text.data() + cut + 1, text.size() - cut - 1);
    const int ab = CompareRelease(a, b);
    Require(ab >= -1 && ab <= 1);
    Require(CompareRelease(b, a) == -ab);
    Require(CompareRelease(a, a) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A line of a list holds no NUL: the readers stop there.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string line = bytes.substr(0, bytes.find('\0'));
    WalkPkgList(line);

    PkgMapEntry entry;
    if (ParsePkgMapLine(line.c_str(), &entry)) {
        const char* end = line.c_str() + line.size();
        for (std::string_view field : {entry.part, entry.type, entry.pkgClass, entry.path,
                                       entry.mode, entry.owner, entry.group}) {
            Require(!field.empty());
            RequireInside(field, line.c_str(), end);
        }
    }
    CompareReleases(line);
    return 0;
}
