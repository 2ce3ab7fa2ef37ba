#pragma once
// The window's side of a save: its settings and preferences read into one job, on the
// main thread.

#include "SaveAll.h"

class ShrinkerController;

SaveAll::SaveJob saveJobFromWindow(const ShrinkerController &controller);
