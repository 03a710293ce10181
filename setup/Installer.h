// The installer's steps, in the order main runs them: command line, earlier
// installation, running programs, moving an earlier installation, the
// installation proper and the final clean-up. The free-space check has a
// header of its own (FreeSpace.h).
#pragma once

#include <string_view>

// ---- command line ----

// Reads the arguments: "install <base>", "-v", a work area in first (or
// third and later) position and an installation base in second position.
// Every path argument is checked first; then each takes effect as it is
// read, so a work area is made even when a later one replaces it. Sets
// pCmdLineInstallDir, pTarvoInstallDir, flCreatedTmpDir and
// pCreatedWorkAreas. Ends the process with status 0 for "-v", with status 2
// for a path argument that is refused or a work area that cannot be made.
void parseCommandLineOptions(int argc, char** argv);

// Cuts path in place at the first "lumo", then at the first "Tarvo", and
// removes a trailing "/" from what remains unless it is the root. Gives
// path (null stays null).
char* StripToBaseName(char* path);

// 1 when path is not empty and holds only letters, digits and
// "/ . _ - + , : = @ %": characters the shell passes on unchanged in the
// command lines the paths are pasted into. A null path is not safe.
int IsSafePathText(std::string_view path);
int IsSafePathText(const char* path);

// A path argument as the installer uses it: relative to the current
// directory when it does not start with "/", without doubled "/", without
// "." components and without a trailing "/" (but for the root). A saved
// string; the current directory is only asked for a relative path, and an
// unknown one leaves the path relative.
char* CleanPathArgument(const char* path);

// Ends the process with status 2 and an error on standard error when path
// is not safe to hand to the shell; what names the path in the message.
void RefuseUnsafePath(const char* what, const char* path);

// ---- earlier installation ----

// Base directory of an earlier installation, found through /opt/Tarvo/lumo
// (a saved string), or null when there is none. A dangling link there is
// removed.
char* locatePreviousInstallation();

// 1 when the two installation bases hold the same application place: the
// same text, or maker directories (<base>/Tarvo) that are one directory.
int SameApplicationPlace(const char* targetBase, const char* currentBase);

// Moves the earlier installation from pCurrentInstallDir to
// pTargetInstallDir and links it from /opt unless it now lives there.
void moveEarlierInstallation();

// ---- running programs ----

// Asks the user to wait for or quit over the running programs of list (a
// comma token list): 0 when none of them runs (any more), 1 when the user
// chose to quit or standard input ended.
int QuitForRunningProcesses(const char* list);

// ---- installation proper and clean-up ----

// Copies the distribution into the work directory and installs it. 0.
int installFromSite(const char* workDir);

// Joins, unpacks and installs the copied distribution: registers the
// package on a first installation, upgrades it over an earlier one, then
// writes ".nv_cfg" and the queue scripts. 1 when the user stopped at the
// placement list's running-program question, else 0.
int Install();

// 1 when the installation may go on; 0 (after message 35) when the user is
// not root. Sets pTarvoPkgName. Ends the process with status 0 for a
// release before 5.6, for "no" or the end of input at the old-daemon
// question.
int readyForInstallation();

// Loads the piece list of dir ("disks", else "DISKS" read in capitals) into
// LineBuf. Ends the process with status 1 when there is none, when it does
// not fit LineBuf before its end, or when it names a file that may not be
// pasted into a command.
void GetDisksData(const char* dir);

// Appends the archive pieces named in the work directory's piece list, in
// list order, to <work>/TarvoSolarisLumo.tar.Z.
void genZFile();

// The application directory of a first installation: 755 under /opt;
// 775 under another base, linked from /opt/Tarvo/lumo.
void createInstallationDirectories(const char* base);

// Writes ".nv_cfg" into appDir: " V5 ", " LPRng " or " CUPS ".
void createPrintingSubsystemFile(const char* appDir);

// ---- piece list ----

// The name that ends a piece list; what follows it is not read.
inline constexpr const char* PIECE_LIST_END = "end_of_list";

// Next name of the piece list at *pos, which moves past it. Names are
// separated by blanks, tabs, carriage returns and newlines. False at the
// end of the text or at "end_of_list".
bool NextPieceName(const char** pos, std::string_view* name);

// 1 when the piece list text reaches its "end_of_list".
int PieceListEnds(const char* list);

// Turns the lower-case letters of the list before its "end_of_list" into
// capitals.
void UpperCasePieceList(char* list);

// 1 when a listed name may be pasted into the copy and join commands: a
// plain file name of letters, digits and ". _ - + , : = @ %", not "." or
// "..".
int IsSafePieceName(std::string_view name);

// 1 for a name of an archive piece: "pkg_tar." or "PKG_TAR." and more.
int IsArchivePiece(std::string_view name);

// ---- releases ----

// Compares two releases component by component ("5.10" after "5.6"): the
// leading digits of each component as a number (none counts as 0), the
// rest of the component as text when the numbers are equal, a missing
// component as an empty one. -1, 0 or 1.
int CompareRelease(std::string_view a, std::string_view b);

// Whether "running op wanted" holds for op "<", "<=", "=", ">" or ">=":
// 1 or 0; -1 for another operator.
int ReleaseConditionHolds(std::string_view op, std::string_view running, std::string_view wanted);

// The release "uname -r" reports (its first word), as a saved string; null
// when nothing was reported.
char* GetSystemRelease();

// ---- package upgrade ----

// The Solaris tool that adds files to an installed package.
extern const char* const pPathToInstallf;

// The fields of a package-map line that the upgrade uses.
struct PkgMapEntry {
    std::string_view part, type, pkgClass, path, mode, owner, group;
};

// The first seven blank-separated fields of a package-map line; false when
// it has fewer.
bool ParsePkgMapLine(const char* line, PkgMapEntry* entry);

// Upgrades the installed package pkg in place from its unpacked copy in
// workDir: toolkit directories, every regular file of the package map
// copied and registered, the version stamped. 1.
int upgradeSolarisPackage(const char* pkg, const char* workDir);

// ---- placement list ----

// Commands of the placement list by their position in this list; any
// other word is PKG_OTHER and acts as "c".
inline constexpr const char* PKG_LIST_COMMANDS = ",dir,dirto,t,c,m,#,v,s,newdir,checkps,";
enum PkgListCommand : int {
    PKG_NO_COMMAND = 0,
    PKG_DIR,
    PKG_DIRTO,
    PKG_TOUCH,
    PKG_COPY,
    PKG_IF_PRESENT_M,
    PKG_COMMENT,
    PKG_RELEASE,
    PKG_IF_PRESENT_S,
    PKG_NEWDIR,
    PKG_CHECKPS,
    PKG_OTHER,
};

// Attribute keys by their position in this list; 0 for another key, which
// is passed over.
inline constexpr const char* PKG_LIST_ATTRIBUTES = ",mode,bat,owner,group,link,name,sed,";
enum PkgListAttributeKey : int {
    PKG_ATTR_OTHER = 0,
    PKG_ATTR_MODE,
    PKG_ATTR_BAT,
    PKG_ATTR_OWNER,
    PKG_ATTR_GROUP,
    PKG_ATTR_LINK,
    PKG_ATTR_NAME,
    PKG_ATTR_SED,
};

// A command of a placement-list line with its own words. Words are
// separated by blanks, carriage returns, newlines and the backslash that
// continues a line.
struct PkgListStep {
    int command;             // PkgListCommand
    std::string_view word;   // the command word
    std::string_view file;   // its file argument; the operator of "v"
    std::string_view extra;  // the destination of "dirto"; the release of "v"
    const char* rest;        // after those: the attribute pairs, or what "v" guards
};

// Takes the command of text apart. 0 when text holds no word; a first
// word beginning with "#" is a comment.
int ParsePkgListStep(const char* text, PkgListStep* step);

// One attribute pair of a placement-list line.
struct PkgListAttribute {
    int key;                 // PkgListAttributeKey
    std::string_view name;   // the key as written
    std::string_view value;  // one word; for "sed" the rest of the line
    const char* rest;        // after the pair
};

// The next attribute pair of text. 0 when the key or its value is missing.
int ParsePkgListAttribute(const char* text, PkgListAttribute* attribute);

// Carries out <work>/<subdir>/pkg.list line by line. 1 when the user chose
// to quit at a "checkps" line, else 0. A list carried out to its end with
// every command done clears the mark of MarkPlacementPending.
int ProcessPkgList(const char* subdir);

// A first installation whose package is registered marks its placement
// list as still to be carried out (the file <app>/.nv_placing), so that a
// later run finishes a list that stopped on a failure.
void MarkPlacementPending();
bool PlacementPending();

// Runs a formatted command line straight through the shell; the command
// reports its own errors. A line over SYSCMD_LINE_SIZE is not run but
// warned about. 0 on success, else as RunShellCmd (E2BIG for a line that
// was not run).
int RunDirect(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- copy destinations ----

// Makes path safe to copy onto: a symbolic link, a pipe, a device, a socket
// or a file with a second name there is removed (with a warning), so that
// no copy writes through it or waits on it; a directory and a plain file
// of one name stay. False (after a warning) when such a thing cannot be
// removed: nothing may then be copied onto path.
bool ClearCopyTarget(const char* path);

// The same for every entry of the tree src as a recursive copy into destDir
// places it (at <destDir>/<last component of src> and below).
bool ClearTreeTargets(const char* src, const char* destDir);

// "WARNING: <message>" on standard error and "WARNING_MSG: <message>" in
// the log, for a line of a list or map that is passed over.
void InstallerWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// GetFileLine for the installer's lists: 1 with the next line in LineBuf,
// 0 at the end. A line too long for one physical line of LineBuf sets
// *overlong; the rest of it has then been read and dropped, so that it is
// never taken for a line of its own.
int GetListLine(bool* overlong);

// Removes the work directory and lets the product's queue administration
// tidy up after an upgrade.
void TarvoClean(const char* workDir);
