// Where a tool of the suite finds the library's catalogue and help pages:
// in its own directory, in the installed tool directory, or in the
// directory above its own (a build tree keeps the catalogue there).
#pragma once

#include <string>

// The directory holding db/en_US/CoreString.qdb for a tool in toolDir; the
// directory above toolDir when none of them holds it.
std::string CatalogueDir(const std::string& toolDir);

// Whether the directory is the installed tool directory of a tool in toolDir.
bool IsInstalledToolDir(const std::string& dir, const std::string& toolDir);

// The help file <catalogue>/help/<language>/<name> in the catalogue's
// language (the one LANG chooses), else the English one; empty when
// neither is there.
std::string HelpFile(const std::string& catalogue, const char* name);
