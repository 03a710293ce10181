// The help menu: the current page's text as the menu's text, one numbered
// action per link, and the buttons Exit Help, Contents and Back, run by the
// menu engine until the user leaves it.
#include <cstring>
#include <string_view>

#include "../TextMenu/TextMenuImpl.h"
#include "HelpTty.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

// The page text is the first item; the buttons and the table's end follow
// the link items.
constexpr int HelpMenuFixedItems = 7;
constexpr int HelpHeadingSize = 128;
constexpr char HelpProductName[] = "Tarvo";

char ContentsPageName[] = "contents";

// What the last rebuild allocated, given back by the next one: the link
// items' labels, the buttons' labels and the heading.
int builtLinkItems = 0;
char* buttonLabels[3] = {};
char* helpTitle = nullptr;

void SetHelpTitle(char* title)
{
    PutMem(helpTitle);
    helpTitle = title;
    HelpMenu.title = title;
}

bool EnsureItemRoom(int count)
{
    if (HelpMenuItemCnt >= count)
        return true;
    void* grown = AdjustMem(HelpMenuItems, count * static_cast<int>(sizeof(TextMenuItem)));
    if (!grown)
        return false;
    HelpMenuItems = static_cast<TextMenuItem*>(grown);
    HelpMenuItemCnt = count;
    return true;
}

void ReleaseLinkLabels()
{
    for (int i = 1; i <= builtLinkItems; ++i)
        PutMem(const_cast<char*>(HelpMenuItems[i].label));
    builtLinkItems = 0;
}

// Only links are offered, and only those that show characters. A named
// anchor is where a link leads, not a way on: its characters carry no "<"
// and ">" to take off, and its name is no file to open.
bool Offered(const HtmlLink& link)
{
    return link.Kind == 2 && link.Length > 0;
}

// The link's characters without its first and last (the "<" and ">"),
// held to the page text.
char* LinkLabel(const HtmlLink& link, const char* image)
{
    const int size = image ? static_cast<int>(strlen(image)) : 0;
    const int start = link.Start + 1;
    if (start < 0 || start > size)
        return SaveStr_("");
    const int length = link.Length - 2 < size - start ? link.Length - 2 : size - start;
    return SaveStr_(std::string_view(image + start, static_cast<size_t>(length > 0 ? length : 0)));
}

// The buttons' labels and keys in the user's language.
void LocaliseButtons()
{
    for (int i = 0; i < 3; ++i) {
        char* label = CoreMessage(NLS_SET_HELP, 150 + i);
        if (!label)
            continue;
        PutMem(buttonLabels[i]);
        buttonLabels[i] = label;
        TextMenuItem& button = HelpCommonItems[2 + i];
        button.label = label;
        button.key = label[0] ? static_cast<unsigned char>(label[1]) : 0;
    }
}

// One button of the help menu: a row break of the button bar (with its
// column count) or an action with its letter key.
TextMenuItem Button(const char* label, int kind, intptr_t value, MenuItemFn action, int key)
{
    TextMenuItem item = MenuItem(label, kind);
    item.value = value;
    item.actionFn = action;
    item.key = key;
    return item;
}

}  // namespace

TextMenuItem HelpCommonItems[6] = {
    Button("", ITEM_BUTTONBAR, 1, nullptr, 0),
    Button("", ITEM_BUTTONBAR, 3, nullptr, 0),
    Button("~e Exit Help", ITEM_EXIT, 0, nullptr, 'e'),
    Button("~c Contents", ITEM_ACTION, 0, TtyHelpContents, 'c'),
    Button("~b Back", ITEM_ACTION, 0, TtyHelpBack, 'b'),
    TextMenuItem{},
};

TextMenuItem* HelpMenuItems = nullptr;
int HelpMenuItemCnt = 0;
TextMenu HelpMenu{nullptr, 1, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0x01C1};

void TtyHelpBuildMenuItems()
{
    HtmlPage* page = pCurrentPage;
    if (!page || !EnsureItemRoom(page->Links.Count + HelpMenuFixedItems))
        return;
    ReleaseLinkLabels();
    HelpMenu.items = HelpMenuItems;
    HelpMenuItems[0] = MenuItem(page->pImage ? page->pImage : "", ITEM_TEXT);
    if (!page->pPageName)
        page->pPageName = ContentsPageName;

    int count = 1;
    for (const ListLink* entry = page->Links.pFirst; entry; entry = entry->pNext) {
        HtmlLink* link = *static_cast<HtmlLink* const*>(entry->pItem);
        if (!link || !Offered(*link))
            continue;
        TextMenuItem& item = HelpMenuItems[count];
        item = MenuItem(LinkLabel(*link, page->pImage), ITEM_ACTION);
        item.key = count;
        item.actionFn = TtyHelpGotoLink;
        item.userData = link;
        ++count;
    }
    builtLinkItems = count - 1;

    LocaliseButtons();
    memcpy(&HelpMenuItems[count], HelpCommonItems, sizeof HelpCommonItems);

    char heading[HelpHeadingSize];
    FormatCore(heading, sizeof heading, NLS_SET_MENU, 22, HelpProductName);
    SetHelpTitle(SaveStr_(heading));
}

void TtyHtmlHelp(char* name, char* text, const char* title)
{
    if (!name || !title)
        return;
    if (!HtmlHelp(name, text)) {
        // The menu that asked for help redraws its page on return: the
        // message waits for the user, or it would be gone unread.
        ShowCore(NLS_SET_CORE, 1001);
        fflush(stdout);
        Gets(LineBuf, sizeof LineBuf);
        return;
    }
    SetHelpTitle(SaveStr_(title));
    TtyHelpBuildMenuItems();
    if (HelpMenu.items)
        RunMenu(&HelpMenu, nullptr, 1);
}

int TtyHelpGotoLink(TextMenu*, TextMenuItem* item)
{
    // The rebuild may move the item table: the link is taken first.
    HtmlLink* link = item ? static_cast<HtmlLink*>(item->userData) : nullptr;
    ProcessLink(link);
    TtyHelpBuildMenuItems();
    return 1;
}

int TtyHelpContents(TextMenu*, TextMenuItem*)
{
    if (HtmlSetHistory(0))
        TtyHelpBuildMenuItems();
    return 1;
}

int TtyHelpBack(TextMenu*, TextMenuItem*)
{
    if (HtmlSetHistory(-1))
        TtyHelpBuildMenuItems();
    return 1;
}
