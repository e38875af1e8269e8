#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

// Copies the file to the first of "<name>.bad", "<name>.bad2", ... that
// does not exist yet, so that no earlier copy is overwritten.
bool copyAside(const std::wstring& path) {
    constexpr int kMostCopies = 100;
    for (int copy = 1; copy <= kMostCopies; ++copy) {
        std::wstring aside = path + L".bad" + (copy > 1 ? std::to_wstring(copy) : L"");
        if (CopyFileW(path.c_str(), aside.c_str(), TRUE)) return true;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// A file that could not be used is copied aside before anything replaces
// it: the user's history and token can still be recovered by hand. One that
// cannot even be copied (still held by another program, or not readable)
// stops the save, so it is never lost. Copying rather than moving leaves
// settings.json in place should the replacement then fail.
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
    app.settingsDoc["server"] = toUtf8(app.siteAddress);
    std::filesystem::path path(app.settingsPath);
    if (path.empty()) throw std::runtime_error("path");
    std::filesystem::create_directories(path.parent_path());
    std::wstring temporary = app.settingsPath + L".tmp";
    writeDurably(temporary, serializeSettings(app.settingsDoc));
    keepUnreadableFile();
    if (!moveReplacing(temporary, app.settingsPath)) throw std::runtime_error("rename");
}

}  // namespace

void loadSettingsFromPath(const std::wstring& path) {
    app.settingsPath = path;
    try {
        std::ifstream stream(std::filesystem::path(path), std::ios::binary);
        if (!stream) {
            // Only a missing file means "no settings yet". One held by another
            // program, or not ours to read, still holds the user's history.
            app.keepUnreadableSettings = !fileMissing(path);
            return;
        }
        std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        applyParsed(parseSettings(text));
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
