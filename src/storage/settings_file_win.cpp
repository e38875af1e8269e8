#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/app_state.h"
#include "storage/settings.h"
#include "storage/settings_format.h"
#include "storage/text.h"
#include "storage/token_protection.h"

using nlohmann::json;

namespace {

struct ShellString {
    PWSTR text = nullptr;
    ~ShellString() { CoTaskMemFree(text); }
};

std::wstring settingsPathForUser() {
    ShellString folder;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder.text)) || !folder.text) {
        return {};  // saves then fail and say so; the load keeps the defaults
    }
    return (std::filesystem::path(folder.text) / L"Clipvane" / L"settings.json").wstring();
}

bool moveReplacing(const std::wstring& from, const std::wstring& to) {
    // Windows refuses to replace a read-only file; some emulations do not,
    // so the rule is kept here explicitly: the user's protection wins.
    DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void applyParsed(ParsedSettings parsed) {
    if (parsed.server) app.siteAddress = toWide(*parsed.server);
    app.settingsDoc = std::move(parsed.doc);
    app.token.clear();
    app.keepUnreadableSettings = parsed.unreadable;
    if (parsed.tokenBlob) {
        // A token of another Windows user stays in the document untouched.
        if (auto token = unprotectToken(*parsed.tokenBlob)) app.token = std::move(*token);
    }
}

// A file that could not be used is moved aside rather than overwritten, so
// the user's history and token can still be recovered by hand.
void keepUnreadableFile() {
    if (!app.keepUnreadableSettings) return;
    if (GetFileAttributesW(app.settingsPath.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !moveReplacing(app.settingsPath, app.settingsPath + L".bad")) {
        throw std::runtime_error("keep");
    }
    app.keepUnreadableSettings = false;
}

void writeSettingsFile() {
    app.settingsDoc["server"] = toUtf8(app.siteAddress);
    std::filesystem::path path(app.settingsPath);
    if (path.empty()) throw std::runtime_error("path");
    std::filesystem::create_directories(path.parent_path());
    std::string text = serializeSettings(app.settingsDoc);
    std::wstring temporary = app.settingsPath + L".tmp";
    {
        std::ofstream stream(std::filesystem::path(temporary), std::ios::binary | std::ios::trunc);
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.flush();
        if (!stream) throw std::runtime_error("write");
    }
    keepUnreadableFile();
    if (!moveReplacing(temporary, app.settingsPath)) throw std::runtime_error("rename");
}

}  // namespace

void loadSettingsFromPath(const std::wstring& path) {
    app.settingsPath = path;
    try {
        std::ifstream stream(std::filesystem::path(path), std::ios::binary);
        if (!stream) return;  // no file yet: the defaults stand
        std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        applyParsed(parseSettings(text));
    } catch (const std::exception&) {
        app.settingsDoc = json::object();
        app.token.clear();
    }
}

void loadSettings() {
    loadSettingsFromPath(settingsPathForUser());
}

bool saveSettings() {
    try {
        writeSettingsFile();
        return true;
    } catch (const std::exception&) {
        setStatus(L"Не удалось сохранить настройки на диск");
        return false;
    }
}

bool setToken(const std::string& token) {
    if (token.empty()) {
        app.token.clear();
        app.settingsDoc.erase("token");
        return saveSettings();
    }
    auto blob = protectToken(token);
    if (!blob) throw std::runtime_error("Не удалось защитить ключ доступа Windows");
    app.settingsDoc["token"] = tokenArray(*blob);
    app.token = token;
    return saveSettings();
}
