// Help pages: the reader of the small HTML subset the suite's help files are
// written in, and the layout that turns each page into plain text for a
// character terminal.
//
// The reader works in place: it writes NULs and decoded characters into the
// text it is given, which therefore must be writable and stay alive as long
// as the parsed file. Parsed files stay registered (at most 100) for the
// life of the process and are found again by name.
#pragma once

#include "List.h"

// A named anchor (Kind 1, name=) or a link (Kind 2, href=) of a page. During
// layout Start and End hold the row and column where it begins; afterwards
// the half-open range [Start, End) of the page text, "<" and ">" included,
// and Length is End - Start. A link that lies outside the text gets an
// empty range at the text's end.
struct HtmlLink    { char* pTarget; int Start, End, Length, Kind; };

// A tag with its attribute text, or (pTag null) a run of decoded text. An
// "a" tag's pText is its HtmlLink; a measured table's ("fitab") its HtmlTable.
struct HtmlElement { char* pTag; void* pText; int Len; };

// One page of a help file: its name (null when unnamed), the laid-out text,
// the head and body elements, pointers to its links, and its line count.
// LineCount is the number of canvas rows the text was made from: the rows
// up to where the body's layout ended, and also the row it ended on when
// that row holds text that no line break closed. A row written up to its
// last column runs on into the next as one line of the text, so the text
// may hold fewer line feeds than LineCount. Pages are cut at 20000 rows.
struct HtmlPage    { char* pPageName; char* pImage; ListRec Head, Body, Links; int LineCount; };

struct HtmlFile    { char* pFileName; char* pText; char* pPos; ListRec Pages; };

// A measured table: canvas position, size with frames, padding and spacing
// in characters, and the content height of each row and width of each column.
struct HtmlTable   { int Left, Top, Width, Height, Padding, Spacing, Rule;
                     unsigned char flBorder; int* pRowHeights; int* pColWidths; int Rows, Cols; };

extern HtmlFile* aFile[100];
extern int FileIndex, CurrentFile;
extern HtmlPage* pCurrentPage;

// The ISO 8859-1 entity names (each with its ";") as a comma list, with the
// character and the length of each name, indexed from 1.
extern const char* HTMLKeys;
extern const unsigned char HTMLChars[];
extern const int HTMLKeySizes[];

// The body tags the layout knows, as a comma list.
extern const char* HtmlKeys;

HtmlFile* ParseHtmlFile(char* name, char* text);
HtmlFile* FindHtmlFile(const char* name);
void  ParseHtml(HtmlFile* file, ListRec* list, const char* endTag);
void  AddAtribute(ListRec* list, char* tag, char* text);
char* GetKeyWord(HtmlFile* file);

// The layout of pCurrentPage: written on a canvas of 132-column rows that
// grows as the layout goes (no write lands outside it), then compacted into
// the page text, where unwritten cells before later text on a row show as
// blanks. PrintTextImage leaves a page whose text is made already as it is.
// Tables measure at most 1000 rows and columns, nest at most 32 deep and
// are drawn at most 1320 characters wide.
void  PrintTextImage(HtmlFile* file);
void  BuildTextImage(HtmlFile* file);
void  BuildTextBody(HtmlFile* file, HtmlTable* table, int row, int column);
HtmlTable* GetTextTable(HtmlFile* file, HtmlElement* element, int available);
int   GetColumnCnt();
void  DrawTableArea(HtmlFile* file, HtmlTable* table);
void  PrintText(HtmlFile* file, int* row, int* column, const char* text, int length, int fill);
