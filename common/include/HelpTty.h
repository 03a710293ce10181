// The help viewer at the terminal: opens a help file, follows links between
// pages, anchors and files with a history for going back, and shows the
// current page as a text menu with one numbered item per link and the fixed
// items Exit Help, Contents and Back.
#pragma once

#include "TextMenu.h"
#include "html.h"

// One position of the history: file index, page and text offset in view.
struct HtmlHistory { int File; HtmlPage* Page; int TargetPos; };

extern HtmlHistory History[100];
extern int HistoryI, TargetPos;
extern unsigned char flBuildingFile;   // set while a file opens or a link is followed

extern TextMenu HelpMenu;
extern TextMenuItem* HelpMenuItems;
extern int HelpMenuItemCnt;
extern TextMenuItem HelpCommonItems[6];

void TtyHtmlHelp(char* name, char* text, const char* title);
int  HtmlHelp(char* name, char* text);
void TtyHelpBuildMenuItems();
int  TtyHelpGotoLink(TextMenu* menu, TextMenuItem* item);
int  TtyHelpContents(TextMenu* menu, TextMenuItem* item);
int  TtyHelpBack(TextMenu* menu, TextMenuItem* item);
int  HtmlSetHistory(int how);       // 0: to the contents, -1: one back
void ProcessLink(HtmlLink* link);
void HtmlProcessLink(int offset);
void GoToTarget(const char* target);
void SetHistory();
