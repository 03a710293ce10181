// The print-queue set-up form. The sub-menus keep what the user typed: each
// time one is left (or loaded from a settings file) its values become its
// defaults, which its next preparation starts from.
#include "QueueForm.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "utils.h"

namespace {

constexpr int SetQueue = 40;
constexpr char QueueDatabase[] = "queues";

// Positions of the form's items; the state rules and conditions name them.
enum TopItem { Name, Description, Connection, Details, Options, Copies, Scale, Buttons, Write, Choose, Defaults, Quit };

char* Text(int number)
{
    return NlsFetchString(pDrvCoreDB, nullptr, NLS_MODE_NUMBER, SetQueue, number);
}

// The default texts of the sub-menus' entries, which keep the last value.
char hostText[MENU_VALUE_SIZE];
char remoteHostText[MENU_VALUE_SIZE];
char remoteQueueText[MENU_VALUE_SIZE];

// The labels come from the catalogue when the form is prepared.
TextMenuItem Item(int kind, intptr_t defValue = 0, const char* rules = nullptr)
{
    return MenuItem("", kind, defValue, rules);
}

void KeepValues(TextMenu* menu)
{
    for (TextMenuItem* item = menu->items; item->label; ++item) {
        if (item->kind == ITEM_STRING || item->kind == ITEM_NAME) {
            char* keep = reinterpret_cast<char*>(item->defValue);
            const char* text = reinterpret_cast<const char*>(item->value);
            if (keep && text)
                snprintf(keep, MENU_VALUE_SIZE, "%s", text);
        } else if (item->kind == ITEM_PICKONE || item->kind == ITEM_INT || item->kind == ITEM_FLOAT) {
            item->defValue = item->value;
        }
    }
}

int Done(TextMenu* menu, TextMenuItem*)
{
    KeepValues(menu);
    return 0;
}

TextMenuItem localItems[] = {Item(ITEM_PICKONE), Item(ITEM_PICKONE, 1), Item(ITEM_APPLY), TextMenuItem{}};
TextMenuItem networkItems[] = {Item(ITEM_STRING, reinterpret_cast<intptr_t>(hostText), "A(1,63)+-+."),
                               Item(ITEM_INT, 9100, "d(1,65535)"), Item(ITEM_APPLY), TextMenuItem{}};
TextMenuItem remoteItems[] = {Item(ITEM_STRING, reinterpret_cast<intptr_t>(remoteHostText), "A(1,63)+-+."),
                              Item(ITEM_STRING, reinterpret_cast<intptr_t>(remoteQueueText), "A(1,14)+-+_"),
                              Item(ITEM_APPLY), TextMenuItem{}};

constexpr uint16_t SubMenuFlags = 0x0004 | 0x0100;
TextMenu localMenu{"", 1, nullptr, KeepValues, 0, &QueueMenu, nullptr, localItems, SubMenuFlags};
TextMenu networkMenu{"", 1, nullptr, KeepValues, 0, &QueueMenu, nullptr, networkItems, SubMenuFlags};
TextMenu remoteMenu{"", 1, nullptr, KeepValues, 0, &QueueMenu, nullptr, remoteItems, SubMenuFlags};
TextMenu* connectionMenus[] = {&localMenu, &networkMenu, &remoteMenu};

const char* ValueText(const TextMenuItem& item)
{
    const char* text = reinterpret_cast<const char*>(item.value);
    return text ? text : "";
}

const char* ChoiceText(const TextMenuItem& item)
{
    const char* name = GetTokenN(item.choices, ",", static_cast<int>(item.value) + 1);
    return name && name[0] == '_' ? name + 1 : name ? name : "";
}

// The queue's record: "description|connection|details|options|copies|scale".
void StoreQueue(TextMenu* menu)
{
    const TextMenuItem* items = menu->items;
    const char* name = ValueText(items[Name]);
    flQueueStored = false;
    if (!name[0]) {
        Nlsfprintf(stderr, pDrvCoreDB, SetQueue, 51);
        return;
    }
    char details[2 * MENU_VALUE_SIZE + 32];
    switch (items[Connection].value) {
    case 0:
        snprintf(details, sizeof details, "%s", ChoiceText(localItems[0]));
        snprintf(details + strlen(details), sizeof details - strlen(details), " %s",
                 ChoiceText(localItems[1]));
        break;
    case 1:
        snprintf(details, sizeof details, "%s:%d", ValueText(networkItems[0]),
                 static_cast<int>(networkItems[1].value));
        break;
    default:
        snprintf(details, sizeof details, "%s:%s", ValueText(remoteItems[0]), ValueText(remoteItems[1]));
        break;
    }
    const bool remote = items[Connection].value == 2;
    SavedStr record(SaveStr("%s|%s|%s|%u|%d|%.3f", ValueText(items[Description]), ChoiceText(items[Connection]),
                            details, static_cast<unsigned>(items[Options].value),
                            remote ? 0 : static_cast<int>(items[Copies].value),
                            remote ? 0.0 : static_cast<double>(MenuFloatValue(items[Scale].value))));
    char path[4096];
    snprintf(path, sizeof path, "%s/db/%s.qdb", pToolPath ? pToolPath : ".", QueueDatabase);
    DbTHandle* db = DbTOpen(QueueDatabase, 0);
    flQueueStored = db && DbmTPutRecord(db, name, record.get(), static_cast<int>(strlen(record.get())) + 1);
    if (db)
        DbTClose(db);
    if (flQueueStored)
        Nlsfprintf(stdout, pDrvCoreDB, SetQueue, 50, name, path);
    else
        Nlsfprintf(stderr, pDrvCoreDB, SetQueue, 52, name, path);
}

int WriteQueue(TextMenu* menu, TextMenuItem*)
{
    StoreQueue(menu);
    return flQueueStored ? 0 : 1;
}

// With the form prepared again after it, the values go back to their
// defaults; the options start again at the first choice.
int LoadDefaults(TextMenu* menu, TextMenuItem*)
{
    menu->items[Options].value = 0;
    return 0;
}

// The options are chosen on the choice page, while they apply.
int ChooseOptions(TextMenu* menu, TextMenuItem*)
{
    if (menu->items[Options].state == ITEM_STATE_NORMAL)
        ProcessStateValue(menu, Options, pOption);
    return 1;
}

int QuitForm(TextMenu*, TextMenuItem*)
{
    return 0;
}

char connectionChoices[NLS_FETCH_SIZE];
char optionChoices[NLS_FETCH_SIZE];
char portChoices[NLS_FETCH_SIZE];
char speedChoices[NLS_FETCH_SIZE];

// A remote queue does its own copies and scaling, and its options are the
// remote end's: they are hidden or disabled.
TextMenuItem topItems[] = {
    Item(ITEM_NAME, 0, "A(1,14)+-+_"),
    Item(ITEM_STRING, 0, "p(0,255)"),
    Item(ITEM_PICKONE, 1, "N2{4} H2{5,6}"),
    Item(ITEM_SUBMENU, 0, "2.0 2.1 2.2"),
    Item(ITEM_PICKMANY),
    Item(ITEM_INT, 1, "d(1,99)"),
    Item(ITEM_FLOAT, static_cast<intptr_t>(0x3f800000), "f(0.1,4.0)"),
    Item(ITEM_BUTTONBAR, 2),
    Item(ITEM_APPLY),
    Item(ITEM_ACTION),
    Item(ITEM_ACTION),
    Item(ITEM_LOADFAIL),
    TextMenuItem{},
};

// Choices are written into by the engine, so they live in buffers.
bool FetchChoices(char* buffer, int number)
{
    SavedStr text(Text(number));
    if (!text || NlsIsErrorText(text.get()))
        return false;
    snprintf(buffer, NLS_FETCH_SIZE, "%s", text.get());
    return true;
}

}  // namespace

bool flQueueStored = false;

TextMenu QueueMenu{"", 1, nullptr, StoreQueue, 0, nullptr, nullptr, topItems, 0x0008 | 0x0040};

bool PrepareQueueForm()
{
    if (!pDrvCoreDB)
        return false;
    struct Label {
        const char** field;
        int number;
    };
    const Label labels[] = {
        {&QueueMenu.title, 1},          {&QueueMenu.applyPrompt, 2},     {&topItems[Name].label, 3},
        {&topItems[Name].prompt, 4},    {&topItems[Description].label, 5}, {&topItems[Description].prompt, 6},
        {&topItems[Connection].label, 7}, {&topItems[Details].label, 7}, {&topItems[Options].label, 9},
        {&topItems[Copies].label, 11},  {&topItems[Copies].prompt, 12},  {&topItems[Scale].label, 13},
        {&topItems[Scale].prompt, 14},  {&topItems[Write].label, 15},
        {&topItems[Choose].label, 18}, {&topItems[Defaults].label, 16}, {&topItems[Quit].label, 17},    {&localMenu.title, 20},
        {&localItems[0].label, 21},     {&localItems[1].label, 23},      {&localItems[2].label, 25},
        {&networkMenu.title, 30},       {&networkItems[0].label, 31},    {&networkItems[0].prompt, 31},
        {&networkItems[1].label, 33},   {&networkItems[1].prompt, 34},   {&networkItems[2].label, 25},
        {&remoteMenu.title, 40},        {&remoteItems[0].label, 41},     {&remoteItems[0].prompt, 41},
        {&remoteItems[1].label, 43},    {&remoteItems[1].prompt, 43},    {&remoteItems[2].label, 25},
    };
    for (const Label& label : labels) {
        char* text = Text(label.number);
        if (!text || NlsIsErrorText(text))
            return false;
        *label.field = text;
    }
    if (!FetchChoices(connectionChoices, 8) || !FetchChoices(optionChoices, 10) ||
        !FetchChoices(portChoices, 22) || !FetchChoices(speedChoices, 24))
        return false;
    topItems[Connection].choices = connectionChoices;
    topItems[Options].choices = optionChoices;
    localItems[0].choices = portChoices;
    localItems[1].choices = speedChoices;
    topItems[Details].value = reinterpret_cast<intptr_t>(connectionMenus);
    topItems[Write].actionFn = WriteQueue;
    topItems[Choose].actionFn = ChooseOptions;
    topItems[Defaults].actionFn = LoadDefaults;
    topItems[Quit].actionFn = QuitForm;
    for (TextMenu* sub : connectionMenus) {
        sub->items[2].actionFn = Done;
        InitMenu(sub, 0);
    }
    return true;
}

void OfferQueueFormHelp(char* helpFile)
{
    pTtyHtmlName = helpFile;
    pTtyHtmlTitle = const_cast<char*>(QueueMenu.title);
    for (TextMenu* menu : {&QueueMenu, &localMenu, &networkMenu, &remoteMenu})
        menu->flags |= 0x0002;
}
