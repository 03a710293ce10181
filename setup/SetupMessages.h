// The installer's messages in six languages, and the language choices: the
// message language from LANG, and the wider agreement language through the
// locale alias table.
#pragma once

// Entries of every message table. Entry i is the same message in each
// language and carries the same printf conversions in the same order, since
// callers pass one argument list whatever the language.
inline constexpr int SETUP_MSG_COUNT = 74;

// The free-space check's stop when the place where the application directory
// would be created has too little room: "%s" the place, "%e" the limit (a
// double, 17.0).
inline constexpr int SETUP_MSG_NO_ROOM_FOR_APPDIR = 71;

// A first installation whose package could not be registered, into an
// application directory that was there before the run: "%s" the directory,
// which is kept.
inline constexpr int SETUP_MSG_APPDIR_KEPT = 72;

// An upgrade that stops at a file it could not write, before the new
// version is recorded: "%s" the file.
inline constexpr int SETUP_MSG_UPGRADE_STOPPED = 73;

extern const char* const NLS_ENGLISH[SETUP_MSG_COUNT];
extern const char* const NLS_SPANISH[SETUP_MSG_COUNT];
extern const char* const NLS_ITALIAN[SETUP_MSG_COUNT];
extern const char* const NLS_FRENCH[SETUP_MSG_COUNT];
extern const char* const NLS_GERMAN[SETUP_MSG_COUNT];
extern const char* const NLS_PORTUGUESE[SETUP_MSG_COUNT];

// Message language codes: position 1 English, then Spanish, Italian, French,
// German and Portuguese.
inline constexpr const char* SETUP_LANG_CODES = ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR";

// Locale alias table: "code = alias alias ..." lines; a line without " = "
// carries more aliases of the code above it. UTF-8, every line ends in a
// newline.
extern const char pTransBuf[];

// The message of that index in the chosen table. The first call chooses it from
// LANG, for the rest of the process, and cuts the codeset (".ISO8859-1") off
// the process's LANG. An index outside the table gives an empty text after a
// warning.
const char* nlsSetupStrCvt(int index);

// The message table for a LANG value (null: unset): the part before the first
// '.' must be one of the six codes exactly; anything else is English.
const char* const* SetupTableFor(const char* lang);

// Agreement language: a code on the left of the alias table, or "en_US". The
// first call decides from LANG; later calls give the same string.
const char* GetTargetNLSLang();

// The agreement language for a LANG value (null: unset), as a saved string
// the caller frees with PutMem.
char* TargetNLSLangFor(const char* lang);
