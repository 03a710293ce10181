// Language choices of the installer: which message table speaks to the user,
// and which agreement language the locale alias table gives.
#include "SetupMessages.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "utils.h"

const char pTransBuf[] =
    "en_US = en_US en english en_AU en_BW en_CA\n"
    "en_DK en_GB en_IE en_NZ en_SE en_ZA en_ZW\n"
    "pr_BR = pr_BR pt portuguese pt_BR pt_PT\n"
    "fr_FR = fr_FR fr français french fr_BE fr_CA fr_CH fr\n"
    "it_IT = it_IT it italian\n"
    "ge_GE = ge_GE ge german de de_AT de_CH De_DE de_DE\n"
    "es_ES = es_ES es spanish español es_AR es_BO es_CL es_CO es_CR es_EC es_GT es_MX "
    "es_NI es_PA es_PE es_PY es_SV es_UY es_VE\n"
    "cs_CZ = cs_CZ\n"
    "fi_FI = fi_FI finnish sv_FI\n"
    "hu_HU = hu_HU hungarian\n"
    "nl_NL = nl_NL nl_BE\n"
    "no_NO = nb_NO nn_NO no_NO norwegian nynorsk se_NO\n"
    "pl_PL = pl_PL\n"
    "ru_RU = ru_RU russian ru_UA\n"
    "sv_SE = sv_FI sv_SE\n"
    "tr_TR = tr_TR\n"
    "da_DK = da_DK danish dansk\n";

namespace {

// In the order of SETUP_LANG_CODES.
const char* const* const SetupTables[] = {NLS_ENGLISH, NLS_SPANISH, NLS_ITALIAN,
                                          NLS_FRENCH,  NLS_GERMAN,  NLS_PORTUGUESE};

const char* const* pSetupTable = nullptr;   // chosen on the first message
const char* pTargetNLSLang = nullptr;       // chosen on the first request

// A saved copy of a LANG value without its codeset (".ISO8859-1",
// ".UTF-8").
char* LanguagePart(const char* lang)
{
    return SaveStr("%.*s", static_cast<int>(std::strcspn(lang, ".")), lang);
}

// The message language drops the codeset from the process's own LANG, so
// the commands started later see the bare language code too.
void DropLangCodeset(const char* lang)
{
    if (lang == nullptr || std::strchr(lang, '.') == nullptr)
        return;
    char* code = LanguagePart(lang);
    // The environment keeps the string for the rest of the process.
    putenv(SaveStr("LANG=%s", code));
    PutMem(code);
}

}  // namespace

const char* const* SetupTableFor(const char* lang)
{
    if (lang == nullptr)
        return NLS_ENGLISH;
    char* code = LanguagePart(lang);
    const int position = FindToken(code, SETUP_LANG_CODES);
    PutMem(code);
    return position >= 1 ? SetupTables[position - 1] : NLS_ENGLISH;
}

const char* nlsSetupStrCvt(int index)
{
    if (pSetupTable == nullptr) {
        char* lang = GetEnv("LANG");
        pSetupTable = SetupTableFor(lang);
        DropLangCodeset(lang);
        PutMem(lang);
    }
    if (index < 0 || index >= SETUP_MSG_COUNT) {
        ErrorMsg(1, 0, "there is no setup message %i", index);
        return "";
    }
    return pSetupTable[index];
}

// The alias is looked for anywhere in the table. From 8 characters past the
// occurrence (just past the " = " when it is the code heading its line) the
// nearest '=' behind names the line whose code is the answer, so aliases on
// a continuation line belong to the code above them. A starting point at or
// past the end of the table meets the end of the text: English.
char* TargetNLSLangFor(const char* lang)
{
    char* value = LanguagePart(lang != nullptr ? lang : "en_US");
    const char* occurrence = StrStr(pTransBuf, value);
    PutMem(value);
    if (occurrence == nullptr)
        return SaveStr_("en_US");

    const std::size_t length = sizeof pTransBuf - 1;
    std::size_t at = static_cast<std::size_t>(occurrence - pTransBuf) + 8;
    if (at >= length)
        return SaveStr_("en_US");
    while (at > 0 && pTransBuf[at] != '=')
        --at;
    if (pTransBuf[at] != '=')
        return SaveStr_("en_US");
    while (at > 0 && pTransBuf[at - 1] != '\n')
        --at;
    const char* code = pTransBuf + at;
    return SaveStr("%.*s", static_cast<int>(std::strcspn(code, " =\n")), code);
}

const char* GetTargetNLSLang()
{
    if (pTargetNLSLang == nullptr) {
        char* lang = GetEnv("LANG");
        pTargetNLSLang = TargetNLSLangFor(lang);
        PutMem(lang);
    }
    return pTargetNLSLang;
}
