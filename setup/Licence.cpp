// Asking for agreement to the licence before anything else happens.
#include "Licence.h"

#include <cstdio>

#include "SetupMessages.h"
#include "utils.h"

const char* EULATextFor(const char* code)
{
    const char* const texts[] = {
        pEnglishEULA,   pSpanishEULA,   pItalianEULA, pFrenchEULA,    pGermanEULA,
        pPortugueseEULA, pCzechEULA,    pFinnishEULA, pHungarianEULA, pDutchEULA,
        pNorwegianEULA, pPolishEULA,    pRussianEULA, pSwedishEULA,   pTurkishEULA,
        pDanishEULA,
    };
    const int position = FindToken(code, EULA_LANG_CODES);
    const int count = static_cast<int>(sizeof texts / sizeof texts[0]);
    return position >= 1 && position <= count ? texts[position - 1] : pEnglishEULA;
}

int UserAcceptedEULA(const char*)
{
    // The whole text at once: no pager, the answer goes on the question's line.
    std::printf("%s ", EULATextFor(GetTargetNLSLang()));
    std::fflush(stdout);
    char answer[4];
    if (Gets(answer, sizeof answer) == nullptr)
        return 0;
    return answer[0] == 'y' || answer[0] == 'Y' ? 1 : 0;
}
