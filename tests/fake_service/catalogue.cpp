#include "catalogue.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace zelbrin::fake_service {

namespace {

constexpr std::uint64_t kDefaultSize = 300 * 1024;

Knobs readKnobs(const nlohmann::json& owner) {
    Knobs knobs;
    if (!owner.contains("knobs") || !owner["knobs"].is_object()) return knobs;
    for (const auto& [name, value] : owner["knobs"].items())
        knobs[name] = value.is_string() ? value.get<std::string>() : value.dump();
    return knobs;
}

// "第{n}集" → "第7集".
std::string fillPattern(std::string pattern, int n) {
    auto at = pattern.find("{n}");
    if (at != std::string::npos) pattern.replace(at, 3, std::to_string(n));
    return pattern;
}

Book readBook(const nlohmann::json& entry) {
    Book book;
    book.id = entry.at("id").get<std::int64_t>();
    book.name = entry.value("name", "");
    book.author = entry.value("author", "");
    book.narrator = entry.value("narrator", "");
    book.knobs = readKnobs(entry);
    auto size = entry.value("size", kDefaultSize);
    if (entry.contains("chapters")) {
        for (const auto& item : entry["chapters"]) {
            Chapter chapter;
            chapter.resId = item.at("resId").get<std::int64_t>();
            chapter.name = item.value("name", "");
            chapter.size = item.value("size", size);
            chapter.knobs = readKnobs(item);
            book.chapters.push_back(std::move(chapter));
        }
    } else {
        int count = entry.value("chapterCount", 0);
        auto first = entry.value("firstResId", book.id * 1000 + 1);
        auto pattern = entry.value("namePattern", std::string("{n}"));
        for (int n = 1; n <= count; ++n)
            book.chapters.push_back({first + n - 1, fillPattern(pattern, n), size, {}});
    }
    book.total = entry.value("total", static_cast<int>(book.chapters.size()));
    return book;
}

}  // namespace

const Book* Catalogue::findBook(std::int64_t id) const {
    for (const auto& book : books)
        if (book.id == id) return &book;
    return nullptr;
}

const Chapter* Catalogue::findChapter(std::int64_t bookId, std::int64_t resId) const {
    const Book* book = findBook(bookId);
    if (!book) return nullptr;
    for (const auto& chapter : book->chapters)
        if (chapter.resId == resId) return &chapter;
    return nullptr;
}

std::optional<Catalogue> parseCatalogue(const std::string& json) {
    try {
        auto document = nlohmann::json::parse(json);
        Catalogue catalogue;
        for (const auto& entry : document.at("books")) catalogue.books.push_back(readBook(entry));
        return catalogue;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<Catalogue> loadCatalogue(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return parseCatalogue(text.str());
}

}  // namespace zelbrin::fake_service
