// The operator's commands on news. Each says what it did in one line, or
// throws a plain-English error for an unknown id.

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "base/clock.h"
#include "base/utc_time.h"
#include "cli/commands.h"
#include "cli/store_options.h"

namespace site {
namespace {

struct NewsArguments {
    StoreOptions store;
    std::string title;
    std::string body;
    std::string id;
};

std::int64_t newsId(const std::string& text) {
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size()) throw std::runtime_error("no news item " + text);
    return id;
}

void addNews(const NewsArguments& given, Console& console) {
    openStore(given.store)->addNews(given.title, given.body, systemClock());
    console.out << "news added\n";
}

void listNews(const NewsArguments& given, Console& console) {
    const auto items = openStore(given.store)->latestNews(INT_MAX);
    if (items.empty()) console.out << "no news\n";
    for (const NewsItem& item : items)
        console.out << item.id << "  " << formatUtcTime(item.createdAt, kListTime) << "  " << item.title << '\n';
}

void removeNews(const NewsArguments& given, Console& console) {
    const std::int64_t id = newsId(given.id);
    if (!openStore(given.store)->removeNews(id)) throw std::runtime_error("no news item " + given.id);
    console.out << "removed news item " << id << '\n';
}

}  // namespace

void addNewsCommands(CLI::App& program, Console& console) {
    const auto given = std::make_shared<NewsArguments>();
    CLI::App& news = *program.add_subcommand("news", "Adds, lists and removes the news the program shows");
    news.require_subcommand(1);
    CLI::App& add = addCommand(news, "add", "Adds a news item", given, console, addNews);
    add.add_option("TITLE", given->title, "the item's title")->required();
    add.add_option("BODY", given->body, "the item's text")->required();
    addCommand(news, "list", "Lists every item, newest first: id, when added, title", given, console, listNews);
    addCommand(news, "remove", "Takes an item back", given, console, removeNews)
        .add_option("ID", given->id, "the item's id")
        ->required();
}

}  // namespace site
