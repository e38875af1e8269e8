#pragma once
// "Загрузить ↑": checks the link and the size limit, then starts the upload.

#include <string>

void uploadImage();

// Where the checked PNG goes, replaceable so tests can see the bytes sent.
using ShotSender = void (*)(std::string png);
extern ShotSender sendShot;
