// The installer's steps, in the order main runs them: command line, earlier
// installation, running programs, moving an earlier installation, the
// installation proper and the final clean-up. The free-space check has a
// header of its own (FreeSpace.h).
#pragma once

// ---- command line ----

// Reads the arguments: "install <base>", "-v", a work area in first (or
// third and later) position and an installation base in second position.
// Sets pCmdLineInstallDir, pTarvoInstallDir and flCreatedTmpDir. Ends the
// process with status 0 for "-v", with status 2 for a path argument that is
// refused or a work area that cannot be made.
void parseCommandLineOptions(int argc, char** argv);

// Cuts path in place at the first "lumo", then at the first "Tarvo", and
// removes a trailing "/" from what remains unless it is the root. Gives
// path (null stays null).
char* StripToBaseName(char* path);

// 1 when path is not empty and holds only letters, digits and
// "/ . _ - + , : = @ %": characters the shell passes on unchanged in the
// command lines the paths are pasted into.
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

// Copies the distribution into the work directory and installs it.
int installFromSite(const char* workDir);

// Removes the work directory and lets the product's queue administration
// tidy up after an upgrade.
void TarvoClean(const char* workDir);
