#pragma once
// A program around the site operations that only records what they did.

#include <stdexcept>
#include <string>
#include <vector>

#include "site/site_host.h"

class FakeSiteHost : public SiteHost {
public:
    nlohmann::json profileValue = nlohmann::json::object();
    nlohmann::json newsValue = nlohmann::json::array();
    std::string address = "https://old.test";
    std::string token;
    std::string status = "начало";
    bool protectionFails = false, saveFails = false, clipboardBusy = false;

    std::vector<std::string> savedAddresses;  // the address at each save
    std::string clipboard;
    int refreshRequests = 0, rebuilds = 0;
    std::vector<std::string> messages;  // "caption: text"

    nlohmann::json& profile() override { return profileValue; }
    nlohmann::json& news() override { return newsValue; }
    bool linked() const override { return !token.empty(); }
    void showStatus(const std::string& text) override { status = text; }
    std::string siteAddress() const override { return address; }
    void setSiteAddress(const std::string& given) override { address = given; }
    bool storeToken(const std::string& given) override {
        if (protectionFails) throw std::runtime_error("Не удалось защитить ключ доступа Windows");
        token = given;
        return save();
    }
    bool forgetToken() override {
        token.clear();
        return save();
    }
    void requestRefresh() override { ++refreshRequests; }
    void rebuildControls() override { ++rebuilds; }
    bool copyText(const std::string& text) override {
        if (!clipboardBusy) clipboard = text;
        return !clipboardBusy;
    }
    void showMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(caption + ": " + text);
    }

private:
    bool save() {
        savedAddresses.push_back(address);
        if (saveFails) status = "Не удалось сохранить настройки на диск";
        return !saveFails;
    }
};
