// Shared helpers of the help viewer's source files: tag numbers, attribute
// values, the layout canvas and the measured-table mark.
#pragma once

#include "html.h"

// ---- entities ----
// Decodes the entity that starts at text ("&..."). Gives the number of
// characters it takes (0 when it is no entity the reader knows) and sets
// *ch to the character, or to 0 for a character code that is to be passed
// over (outside 1 to 255).
int DecodeEntity(const char* text, unsigned char* ch);

// ---- tags ----
// The body tags by their place in HtmlKeys.
enum HtmlTag {
    TagNone, TagP, TagEndP, TagB, TagEndB, TagFont, TagEndFont, TagA, TagEndA, TagTr, TagEndTr,
    TagBr, TagTable, TagFitab, TagEndTable, TagTd, TagEndTd, TagH1, TagH2, TagH3, TagH4, TagH5,
    TagH6, TagEndH1, TagEndH2, TagEndH3, TagEndH4, TagEndH5, TagEndH6, TagOl, TagEndOl, TagLi,
    TagEndLi, TagDiv, TagEndDiv, TagImg
};
// The element's tag number (TagNone for a text run or a tag the layout does
// not know). A "fitab" counts only when the table measure wrote it: one
// written in the help text is no measured table.
HtmlTag ElementTag(const HtmlElement* element);
// The tag text of a measured table; its element's pText is the HtmlTable.
extern char MeasuredTableTag[];

// Tables nest at most this deep (measured or being laid out); a deeper
// table tag is passed over like a tag the layout does not know, so that no
// help text can exhaust the stack.
inline constexpr int TableMaxNesting = 32;
extern int TableNesting;
// Rows and columns a table measures; further ones are cut.
inline constexpr int TableMaxCells = 1000;

// ---- canvas ----
// The page being laid out writes into a canvas of rows of CanvasWidth
// characters that grows as writes reach further rows, up to CanvasMaxRows;
// what would lie beyond is dropped. Every write goes through CanvasWrite.
inline constexpr int CanvasWidth = 132;
inline constexpr int CanvasMaxRows = 20000;
// Widest table the layout draws, in characters (ten canvas rows).
inline constexpr int TableMaxWidth = 10 * CanvasWidth;

// Gives the page a zero-filled canvas of rows rows (at least one) as its
// pImage, after compacting the canvas of a page left half made; false when
// memory is short.
bool CanvasStart(HtmlPage* page, int rows);
// Writes length characters of text (with fill, length times text[0]) from
// the cell row * CanvasWidth + column on, continuing over row ends; cells
// outside the canvas's greatest extent are not written.
void CanvasWrite(long long row, long long column, const char* text, int length, bool fill);
// Whether any cell of the canvas row is written.
bool CanvasRowUsed(int row);
// A cursor row held inside the canvas's greatest extent.
int CanvasRow(long long row);

// ---- registry ----
// Forgets every registered file (its pages, elements, links, tables and, when
// the reader read it, its text) and empties the history, so that a process
// that parses many texts (a test, the fuzz target) starts again from an
// empty registry.
void ForgetHtmlFiles();
