#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "app/app_state.h"
#include "app/win_handles.h"
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

bool fileMissing(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Nothing when the file cannot be opened: missing, or held by another
// program that shares it with nobody.
std::optional<std::string> readWholeFile(const std::wstring& path) {
    std::ifstream stream(std::filesystem::path(path), std::ios::binary);
    if (!stream) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

// Copies the file to the first of "<name>.bad", "<name>.bad2", ... that
// does not exist yet, so that no earlier copy is overwritten; unless one of
// them holds these bytes already: a file that stays damaged (a read-only
// one cannot be replaced) is kept once, not once more at every start.
bool copyAside(const std::wstring& path) {
    constexpr int kMostCopies = 100;
    std::optional<std::string> damaged = readWholeFile(path);
    if (!damaged) return false;
    for (int copy = 1; copy <= kMostCopies; ++copy) {
        std::wstring aside = path + L".bad" + (copy > 1 ? std::to_wstring(copy) : L"");
        if (CopyFileW(path.c_str(), aside.c_str(), TRUE)) return true;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
        if (readWholeFile(aside) == damaged) return true;
    }
    return false;
}

// A file that could not be opened at start is not a damaged one: read now,
// before anything replaces it, it is what this run's changes are laid over.
// One still held stops the save; one that turns out damaged is kept aside.
void readUnreadFile() {
    if (!app.settingsUnread) return;
    std::optional<std::string> text = readWholeFile(app.settingsPath);
    if (!text && !fileMissing(app.settingsPath)) throw std::runtime_error("held");
    if (text) {
        ParsedSettings parsed = parseSettings(*text);
        if (parsed.unreadable) {
            app.keepUnreadableSettings = true;
        } else {
            for (const auto& change : app.unreadSettingsChanges) change(parsed.doc);
            applyParsed(readSettingsDoc(std::move(parsed.doc)));
        }
    }
    app.settingsUnread = false;
    app.unreadSettingsChanges.clear();
}

// A file that could not be used is copied aside before anything replaces
// it: the user's history and token can still be recovered by hand. One that
// cannot be copied stops the save, so it is never lost. Copying rather than
// moving leaves settings.json in place should the replacement then fail.
void keepUnreadableFile() {
    if (!app.keepUnreadableSettings) return;
    if (!fileMissing(app.settingsPath) && !copyAside(app.settingsPath)) throw std::runtime_error("keep");
    app.keepUnreadableSettings = false;
}

// Flushed to the disk before it replaces the old file, so that a power cut
// cannot leave an empty settings.json behind.
void writeDurably(const std::wstring& path, const std::string& text) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file.get())) {
        throw std::runtime_error("write");
    }
}

void writeSettingsFile() {
    std::filesystem::path path(app.settingsPath);
    if (path.empty()) throw std::runtime_error("path");
    readUnreadFile();
    app.settingsDoc["server"] = toUtf8(app.siteAddress);
    std::filesystem::create_directories(path.parent_path());
    std::wstring temporary = app.settingsPath + L".tmp";
    writeDurably(temporary, serializeSettings(app.settingsDoc));
    keepUnreadableFile();
    if (!moveReplacing(temporary, app.settingsPath)) throw std::runtime_error("rename");
}

}  // namespace

void loadSettingsFromPath(const std::wstring& path) {
    app.settingsPath = path;
    app.keepUnreadableSettings = false;
    app.unreadSettingsChanges.clear();
    try {
        std::optional<std::string> text = readWholeFile(path);
        // Only a missing file means "no settings yet". One held by another
        // program, or not ours to read, still holds the user's history.
        app.settingsUnread = !text && !fileMissing(path);
        if (text) applyParsed(parseSettings(*text));
    } catch (const std::exception&) {
        app.settingsDoc = json::object();
        app.token.clear();
        app.keepUnreadableSettings = true;
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

bool changeSettings(const std::function<void(json&)>& change) {
    change(app.settingsDoc);
    if (app.settingsUnread) app.unreadSettingsChanges.push_back(change);
    return saveSettings();
}

bool setToken(const std::string& token) {
    if (token.empty()) {
        app.token.clear();
        return changeSettings([](json& doc) { doc.erase("token"); });
    }
    auto blob = protectToken(token);
    if (!blob) throw std::runtime_error("Не удалось защитить ключ доступа Windows");
    app.token = token;
    // A token is good only at the site that issued it: the two go together
    // over whatever an unread file turns out to hold.
    return changeSettings([array = tokenArray(*blob), server = toUtf8(app.siteAddress)](json& doc) {
        doc["token"] = array;
        doc["server"] = server;
    });
}
