// The books the fake service knows, read from a JSON file (tests/data/books.json), and the
// knobs that make an audio answer misbehave.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zelbrin::fake_service {

// Name → value, as given in a data file's "knobs" object or an audio URL's query.
using Knobs = std::map<std::string, std::string>;

struct Chapter {
    std::int64_t resId = 0;
    std::string name;  // UTF-8
    std::uint64_t size = 0;
    Knobs knobs;
};

struct Book {
    std::int64_t id = 0;
    std::string name, author, narrator;  // UTF-8
    int total = 0;                       // the announced count, usually chapters.size()
    std::vector<Chapter> chapters;
    Knobs knobs;  // for every chapter's audio; a chapter's own knobs win
};

struct Catalogue {
    std::vector<Book> books;

    const Book* findBook(std::int64_t id) const;
    const Chapter* findChapter(std::int64_t bookId, std::int64_t resId) const;
};

// Nullopt when the file cannot be read or is not a valid books file.
std::optional<Catalogue> loadCatalogue(const std::string& path);
std::optional<Catalogue> parseCatalogue(const std::string& json);

}  // namespace zelbrin::fake_service
