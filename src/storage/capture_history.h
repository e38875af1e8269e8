#pragma once
#include <string>

// The capture history of this computer, kept in the settings document.
std::string dayKey(int offset);
int countOnDay(int offset);
// Adds one shot to today, drops days older than 60 days and saves.
void recordCapture();
