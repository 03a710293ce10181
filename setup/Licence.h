// The licence agreement: one text per language, shown before anything is
// installed, and the user's answer to it.
#pragma once

// The agreement texts: UTF-8, each starting with a byte-order mark (all but
// the Russian one with a newline before it) and ending, without a newline,
// with a question to be answered on the same line: "y" agrees, "n" does not.
extern const char* const pEnglishEULA;
extern const char* const pSpanishEULA;
extern const char* const pItalianEULA;
extern const char* const pFrenchEULA;
extern const char* const pGermanEULA;
extern const char* const pPortugueseEULA;
extern const char* const pCzechEULA;
extern const char* const pFinnishEULA;
extern const char* const pHungarianEULA;
extern const char* const pDutchEULA;
extern const char* const pNorwegianEULA;
extern const char* const pPolishEULA;
extern const char* const pRussianEULA;
extern const char* const pSwedishEULA;
extern const char* const pTurkishEULA;
extern const char* const pDanishEULA;

// Agreement language codes, in the order of the texts above.
inline constexpr const char* EULA_LANG_CODES =
    ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR,cs_CZ,fi_FI,hu_HU,nl_NL,no_NO,pl_PL,ru_RU,sv_SE,tr_TR,da_DK,";

// The text of an agreement language code; English for any other code.
const char* EULATextFor(const char* code);

// Shows the agreement in the language GetTargetNLSLang gives and reads the
// answer: at most three characters of one line (a longer answer leaves the
// rest of its line unread). 1 when the answer starts with "y" or "Y"; 0
// otherwise, at the end of input too. The argument is not used.
int UserAcceptedEULA(const char* unused);
