#pragma once
// What the site operations read and change in the program. The Windows side
// forwards to AppState, the settings file, the clipboard and message boxes;
// tests supply a record of their own.

#include <string>

#include <nlohmann/json.hpp>

class SiteHost {
public:
    virtual ~SiteHost() = default;

    virtual nlohmann::json& profile() = 0;
    virtual nlohmann::json& news() = 0;
    virtual bool linked() const = 0;
    // Text is UTF-8; the host converts for the screen.
    virtual void showStatus(const std::string& text) = 0;

    virtual std::string siteAddress() const = 0;
    // In memory only; the next save writes it.
    virtual void setSiteAddress(const std::string& address) = 0;
    // Protects, keeps and saves the token. Throws when it cannot be
    // protected; returns false when the save failed (which reported itself).
    virtual bool storeToken(const std::string& token) = 0;
    // Empties the token and removes it from the settings, then saves;
    // returns false when the save failed.
    virtual bool forgetToken() = 0;

    // Asks the main window for a refresh once the current handler returns.
    virtual void requestRefresh() = 0;
    virtual void rebuildControls() = 0;

    // Puts the text on the clipboard; false when that did not happen.
    virtual bool copyText(const std::string& text) = 0;
    // Returns when the user has closed the box.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
};
