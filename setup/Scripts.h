// The shell scripts the installer writes: the three scripts a print queue
// calls (queue interface, driver, spooling filter), which read ".nv_cfg" of
// the application directory when they run and take the branch of the
// printing system named there, and the small wrappers in /usr/bin that the
// placement list asks for.
#pragma once

// Templates. "%s" marks a value filled in at generation, "%%" stands for a
// single "%"; every other character is written as it is.
extern const char* const ScriptShShell;         // "#!/bin/sh", the first line
extern const char* const ScriptBanner;          // five framed lines with the year, two empty ones
extern const char* const TarvoPrintlumoScript;  // application directory, "lumo",
                                                // "nuvrinlumo", "nuvrinlumo", "lumo", "lumo"
extern const char* const pv4DriverScript;       // application directory
extern const char* const TarvoQDFScript;        // application directory, queue spool directory
extern const char* const SimpleScript;          // application directory twice, program file

// Writes TarvoPrintlumo, v4DriverScript and TarvoQDF into pAppDir, in that
// order; TarvoQDF spools below <spoolDir>/lumo. With an LPRng printing
// system, an existing /usr/share/printconf/util that holds no TarvoPrintlumo
// yet gets a link to the queue interface script.
void createQueueScripts(const char* spoolDir);

// Each generator writes one script: the first line, the banner with the
// current year, then the template with its values (pAppDir and the
// arguments). An earlier file at the path is replaced (a link there is
// removed, never written through) and the script gets mode 755. 1 when
// written; 0, after a message on standard error, when the file could not be
// opened or written whole, or a value holds characters that could not stand
// inside double quotes in a shell script (" $ ` \ and control characters).
int generateTarvoPrintlumoScript(const char* path, const char* firstLine, const char* templ);
int generatev4DriverScript(const char* path, const char* firstLine, const char* templ);
int generateTarvoQDFScript(const char* path, const char* firstLine, const char* templ,
                           const char* spoolSubdir);
// A wrapper that starts <dir2>/<file> in dir1 with the caller's arguments.
int GenSimpleScript(const char* path, const char* firstLine, const char* templ, const char* dir1,
                    const char* dir2, const char* file);
