#pragma once
#include <string>

// Starts the upload of finished PNG bytes (already checked against the
// size limit) with the current site address and token.
void startShotUpload(std::string png);
