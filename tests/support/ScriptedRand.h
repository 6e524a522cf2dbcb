// Drives the C library's rand() from a test: queued values come out first, in order; with
// the queue empty, rand() is the C library's own.
#pragma once

#include <initializer_list>

void ScriptRand(std::initializer_list<int> values);
void ClearScriptedRand();
// Values queued but not yet drawn.
int ScriptedRandLeft();
