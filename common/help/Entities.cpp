// Character entities of the help texts: the ISO 8859-1 names, &quot; and
// numeric character codes, decimal or (behind an "x") hexadecimal.
#include <cstring>
#include <strings.h>

#include "HelpImpl.h"
#include "utils.h"

// Characters 160 to 255 in order, each name written with its ";". The two
// tables below are indexed by a name's place in this list, from 1.
const char* HTMLKeys =
    ",nbsp;,iexcl;,cent;,pound;,curren;,yen;,brvbar;,sect;,uml;,copy;,ordf;,laquo;,not;,shy;"
    ",reg;,macr;,deg;,plusmn;,sup2;,sup3;,acute;,micro;,para;,middot;,cedil;,sup1;,ordm;,raquo;"
    ",frac14;,frac12;,frac34;,iquest;,Agrave;,Aacute;,Acirc;,Atilde;,Auml;,Aring;,AElig;,Ccedil;"
    ",Egrave;,Eacute;,Ecirc;,Euml;,Igrave;,Iacute;,Icirc;,Iuml;,ETH;,Ntilde;,Ograve;,Oacute;"
    ",Ocirc;,Otilde;,Ouml;,times;,Oslash;,Ugrave;,Uacute;,Ucirc;,Uuml;,Yacute;,THORN;,szlig;"
    ",agrave;,aacute;,acirc;,atilde;,auml;,aring;,aelig;,ccedil;,egrave;,eacute;,ecirc;,euml;"
    ",igrave;,iacute;,icirc;,iuml;,eth;,ntilde;,ograve;,oacute;,ocirc;,otilde;,ouml;,divide;"
    ",oslash;,ugrave;,uacute;,ucirc;,uuml;,yacute;,thorn;,yuml;,";

const unsigned char HTMLChars[] = {
    0, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176,
    177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194,
    195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212,
    213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225, 226, 227, 228, 229, 230,
    231, 232, 233, 234, 235, 236, 237, 238, 239, 240, 241, 242, 243, 244, 245, 246, 247, 248,
    249, 250, 251, 252, 253, 254, 255};

const int HTMLKeySizes[] = {
    0, 5, 6, 5, 6, 7, 4, 7, 5, 4, 5, 5, 6, 4, 4, 4, 5, 4, 7, 5, 5, 6, 6, 5, 7, 6, 5, 5, 6, 7,
    7, 7, 7, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6, 5, 4, 7, 7, 7, 6, 7, 5, 6, 7, 7, 7,
    6, 5, 7, 6, 6, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6, 5, 4, 7, 7, 7, 6, 7, 5, 7, 7,
    7, 7, 6, 5, 7, 6, 5};

namespace {

constexpr int EntityCount = sizeof(HTMLKeySizes) / sizeof(HTMLKeySizes[0]) - 1;
// A name is looked up only when its ";" comes this soon after the "&".
constexpr int NameReach = 15;

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "&#N;" or "&#xH;": the digits, then everything up to the next ";" and the
// ";" itself. Without a ";" before the next tag or the end of the text only
// the digits are taken, so an entity never swallows markup.
int NumericEntity(const char* text, unsigned char* ch)
{
    const char* p = text + 2;
    const bool hex = *p == 'x' || *p == 'X';
    if (hex)
        ++p;
    long code = 0;
    for (int digit; (digit = DigitValue(*p, hex)) >= 0; ++p)
        if (code <= 255)   // past 255 the code is out of range whatever follows
            code = code * (hex ? 16 : 10) + digit;
    // Code 0 would end the text there, and codes above 255 are no byte.
    *ch = code >= 1 && code <= 255 ? static_cast<unsigned char>(code) : 0;
    const char* end = p;
    while (*end && *end != ';' && *end != '<')
        ++end;
    return static_cast<int>((*end == ';' ? end + 1 : p) - text);
}

// A name of HTMLKeys, with regard to case, whose ";" comes within NameReach
// characters after the "&".
int NamedEntity(const char* text, unsigned char* ch)
{
    char name[NameReach + 1] = {};
    for (int i = 0; i < NameReach && text[1 + i]; ++i) {
        name[i] = text[1 + i];
        if (name[i] != ';')
            continue;
        const int index = i > 0 ? FindToken(name, HTMLKeys) : 0;
        if (index < 1 || index > EntityCount)
            return 0;
        *ch = HTMLChars[index];
        return HTMLKeySizes[index] + 1;
    }
    return 0;
}

}  // namespace

int DecodeEntity(const char* text, unsigned char* ch)
{
    *ch = 0;
    if (text[0] != '&')
        return 0;
    if (text[1] == '#')
        return NumericEntity(text, ch);
    if (strncasecmp(text + 1, "quot;", 5) == 0) {
        *ch = '"';
        return 6;
    }
    return NamedEntity(text, ch);
}
