#pragma once
// Linking this device to a profile, refreshing news and profile, and the
// account page in the browser. Started by the main window's commands.

void refresh();
void linkDevice();
void unlinkDevice();
void openAccountPage();
