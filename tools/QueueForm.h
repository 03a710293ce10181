// The print-queue set-up form of lumoq: its menus, their texts from the
// message catalogue, and the step that stores a queue in the queue database.
#pragma once

#include "TextMenu.h"

// The form: the queue's name, description, connection (with a sub-menu for
// each kind of connection), options, copies and scale, and the buttons.
extern TextMenu QueueMenu;

// Fills the form's texts from the core-string catalogue (pDrvCoreDB) and
// prepares its sub-menus; false when the catalogue lacks the form's texts.
bool PrepareQueueForm();

// Whether the last apply stored the queue; set by the form's apply step.
extern bool flQueueStored;

// Offers the help file (a string the form keeps) on the answer h of the
// form and its sub-menus.
void OfferQueueFormHelp(char* helpFile);
