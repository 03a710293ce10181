// The installation state of one run of setup, set by the entry in a fixed
// order and read by the later steps (distribution, scripts, free space,
// package upgrade and placement list).  Strings are saved strings that live
// until the process ends.
#pragma once

// Version the installer reports with "-v" and stamps into the package.
inline constexpr const char* SETUP_VERSION = "4.30.26";
// The maker's and product's names as they appear in paths.
inline constexpr const char* MAKER_NAME = "Tarvo";
inline constexpr const char* PRODUCT_NAME = "lumo";

extern char* pTarvoInstallDir;    // work directory, default /tmp/TarvoInstall
extern char* pPathToSetup;        // absolute directory of the running program
extern char* pCmdLineInstallDir;  // installation base from the command line, or null
extern char* pCurrentInstallDir;  // base of an earlier installation, or null
extern char* pTargetInstallDir;   // installation base of this run
extern char* pAppDir;             // <pTargetInstallDir>/Tarvo/lumo
extern char* pTarvoPkgName;       // the Solaris package's name
extern const char* pBinaryInstanceCheckList;  // programs that must not run
extern bool flCreatedTmpDir;      // the installer created the work area itself
extern char* pCreatedWorkAreas;   // the work areas it created, one a line, or null
