#pragma once
// The settings file on disk and the protected token (Windows side).

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

// Fills settingsPath, settingsDoc, siteAddress and token; never throws.
void loadSettings();
// Writes settingsDoc (with siteAddress) atomically; reports a failure on the
// status line. Returns whether the file now holds the document.
bool saveSettings();
// Applies a change to settingsDoc and saves it. While settings.json could
// not be read yet, the change is kept to be laid over what it holds.
bool changeSettings(const std::function<void(nlohmann::json&)>& change);
// Protects and stores a token (an empty one removes it), then saves.
// Throws "Не удалось защитить ключ доступа Windows" when protection fails.
// Returns whether the save succeeded.
bool setToken(const std::string& token);

// loadSettings for a given file; the start-up path resolves the user's one.
void loadSettingsFromPath(const std::wstring& path);
