// Block memory manager: every dynamic string and record of the program lives
// in blocks handed out here.
#pragma once

void* GetMem(int size);
void PutMem(void* p);
void* AdjustMem(void* p, int size);
