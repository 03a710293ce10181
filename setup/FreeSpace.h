// The free-space check before an installation: room for the work directory
// and for the application directory, from the distribution's size files.
#pragma once

// Added to each size of the distribution.
inline constexpr double SPACE_MARGIN = 40.0;
// Where the application directory will be created, more than this must be
// free.
inline constexpr double MIN_FREE_FOR_APPDIR = 17.0;

// Returns when the work directory and the installation base have room for
// the installation; otherwise says which area is too small and ends the
// process with status 0 (as it does when a size file is missing). The
// size files "isize" and "tsize" are read from pPathToSetup; makerDir is the
// maker's directory under the base.
void FreeSpaceForInstall(const char* workDir, const char* baseDir, const char* makerDir);

// Free space of one file system holding both the work directory and the
// installation base: work and install are the two sides' free space, each
// with the usage of its earlier copy added; plain is the file system's free
// space as reported. Each earlier copy counts once.
double PooledFreeSpace(double work, double install, double plain);
