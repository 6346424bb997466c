// zelbrin-cli's rows of the fault matrix: hostile chapter names, files already in the way and a
// service that fails a share of its requests at random. Whatever happens, every chapter ends
// byte-exact under its own file inside the book folder or is listed as failed, and the
// --json summary adds up.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/run.h"
#include "download/paths.h"
#include "fake_service.h"
#include "text/charset.h"

namespace zelbrin::cli {
namespace {

namespace fake = fake_service;
namespace fs = std::filesystem;

constexpr std::int64_t kHostile = 51;
constexpr std::int64_t kPlain = 52;
constexpr std::int64_t kChaos = 53;
constexpr int kChaosChapters = 30;

std::vector<Text> hostileNames() {
    return {"..\\..\\..\\上级",
            "../../etc/passwd",
            "CON",
            "nul.txt",
            "COM1",
            Text(300, 'x'),
            "控\x01制\x1f字符\x7f",
            "Name",
            "NAME",
            "name",
            " . ",
            "a:b*c?d\"e<f>g|h"};
}

fake::Catalogue testBooks() {
    fake::Catalogue catalogue;
    fake::Book hostile{kHostile, gbkToUtf8("恶名书"), "a", "n", 0, {}, {}};
    std::int64_t resId = 0;
    for (const Text& name : hostileNames())
        hostile.chapters.push_back(
            {++resId, gbkToUtf8(name), 500u + static_cast<unsigned>(resId), {}});
    hostile.total = static_cast<int>(hostile.chapters.size());
    catalogue.books.push_back(hostile);

    fake::Book plain{kPlain, gbkToUtf8("常书"), "a", "n", 2, {}, {}};
    plain.chapters = {{1, gbkToUtf8("甲"), 3000, {}}, {2, gbkToUtf8("乙"), 4000, {}}};
    catalogue.books.push_back(plain);

    fake::Book chaos{kChaos, gbkToUtf8("乱书"), "a", "n", kChaosChapters, {}, {}};
    chaos.knobs = {{"chaos", "10"}, {"seed", "7"}};
    for (int k = 1; k <= kChaosChapters; ++k)
        chaos.chapters.push_back(
            {k, "chapter " + std::to_string(k), 150000u + static_cast<unsigned>(k), {}});
    catalogue.books.push_back(chaos);
    return catalogue;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start(0));
        root_ = fs::temp_directory_path() /
                ("zelbrin-cli-faults-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        service_.stop();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Text rootText() const {
        return utf8ToGbk(reinterpret_cast<const char*>(root_.u8string().c_str()));
    }

    // Runs with --json; returns the exit status and the parsed lines.
    int run(std::int64_t book, std::vector<nlohmann::json>& lines, std::vector<Text> extra = {}) {
        std::vector<Text> arguments = {std::to_string(book), "--json", "--service-base",
                                       service_.baseUrl(),   "-o",     rootText()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        TextOutput out;
        TextOutput err;
        const std::atomic<bool> stop{false};
        const int status = runCli(arguments, out, err, stop);
        const Text text = out.text();
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != Text::npos;
             start = end + 1) {
            auto line =
                nlohmann::json::parse(gbkToUtf8(text.substr(start, end - start)), nullptr, false);
            EXPECT_FALSE(line.is_discarded());
            lines.push_back(line);
        }
        return status;
    }

    // Every file in the book folder, with the chapter whose bytes it holds (0: none).
    std::map<fs::path, std::int64_t> savedChapters(const Text& bookName, std::int64_t book,
                                                   const std::vector<std::uint64_t>& sizes) {
        std::map<fs::path, std::int64_t> saved;
        const auto folder = nativePath(rootText() + "\\" + bookName);
        if (!fs::exists(folder)) return saved;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const auto bytes = readFile(entry.path());
            saved[entry.path()] = 0;
            for (std::size_t k = 0; k < sizes.size(); ++k)
                if (bytes == fake::audioBytes(book, static_cast<std::int64_t>(k + 1), sizes[k]))
                    saved[entry.path()] = static_cast<std::int64_t>(k + 1);
        }
        return saved;
    }

    fake::FakeService service_{testBooks()};
    fs::path root_;
};

TEST_F(CliFaults, HostileNamesEachGetAFileOfTheirOwnInsideTheBookFolder) {
    std::vector<nlohmann::json> lines;
    EXPECT_EQ(run(kHostile, lines), kExitComplete);
    // Only the book folder at the top, whatever the names tried.
    std::vector<fs::path> top(fs::directory_iterator(root_), {});
    ASSERT_EQ(top.size(), 1u);
    const auto names = hostileNames();
    std::vector<std::uint64_t> sizes;
    for (std::size_t k = 1; k <= names.size(); ++k) sizes.push_back(500 + k);
    const auto saved = savedChapters("恶名书", kHostile, sizes);
    std::set<std::int64_t> chapters;
    std::set<Text> lowerNames;  // Windows compares names regardless of case
    for (const auto& [path, chapter] : saved) {
        SCOPED_TRACE(path.string());
        EXPECT_NE(chapter, 0);
        chapters.insert(chapter);
        Text name = path.filename().string();
        EXPECT_LE(name.size(), 255u);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lowerNames.insert(name);
    }
    EXPECT_EQ(chapters.size(), names.size());
    EXPECT_EQ(lowerNames.size(), names.size());
}

TEST_F(CliFaults, ExistingFilesOfTheSameOrAnotherSize) {
    const auto folder = nativePath(rootText() + "\\常书");
    fs::create_directories(folder);
    // 甲: a file of the chapter's size is taken as this chapter, finished by an earlier run.
    // 乙: a file of another size is someone else's: it is kept and the chapter goes beside it.
    const std::string sameSize(3000, 's');
    const std::string otherSize(10, 'o');
    std::ofstream(folder / nativePath("甲.mp3"), std::ios::binary) << sameSize;
    std::ofstream(folder / nativePath("乙.mp3"), std::ios::binary) << otherSize;
    std::vector<nlohmann::json> lines;
    EXPECT_EQ(run(kPlain, lines), kExitComplete);
    const auto kept = [&](const char* name) {
        const auto bytes = readFile(folder / nativePath(name));
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(kept("甲.mp3"), sameSize);
    EXPECT_EQ(kept("乙.mp3"), otherSize);
    const auto saved = savedChapters("常书", kPlain, {3000, 4000});
    EXPECT_EQ(saved.size(), 3u);
    EXPECT_EQ(std::count_if(saved.begin(), saved.end(), [](auto& s) { return s.second == 2; }), 1);
    EXPECT_EQ(lines.back()["complete"], 1);
    EXPECT_EQ(lines.back()["alreadyComplete"], 1);
}

TEST_F(CliFaults, RandomFaultsEndEveryChapterExactOrReportedFailed) {
    std::vector<nlohmann::json> lines;
    const int status = run(kChaos, lines, {"--retries", "2", "-c", "4"});
    ASSERT_FALSE(lines.empty());
    const auto& summary = lines.back();
    ASSERT_EQ(summary["event"], "summary");
    std::set<int> failed;
    for (const auto& line : lines)
        if (line["event"] == "failed") failed.insert(line["number"].get<int>());
    EXPECT_EQ(status, failed.empty() ? kExitComplete : kExitSomeFailed);
    EXPECT_EQ(summary["failed"], static_cast<int>(failed.size()));
    EXPECT_EQ(summary["complete"].get<int>() + static_cast<int>(failed.size()), kChaosChapters);

    std::vector<std::uint64_t> sizes;
    for (int k = 1; k <= kChaosChapters; ++k) sizes.push_back(150000u + static_cast<unsigned>(k));
    const auto saved = savedChapters("乱书", kChaos, sizes);
    std::set<std::int64_t> chapters;
    for (const auto& [path, chapter] : saved) {
        EXPECT_NE(chapter, 0) << path;  // no partial or foreign bytes under any name
        EXPECT_EQ(failed.count(static_cast<int>(chapter)), 0u) << path;
        chapters.insert(chapter);
    }
    EXPECT_EQ(chapters.size() + failed.size(), static_cast<std::size_t>(kChaosChapters));
}

}  // namespace
}  // namespace zelbrin::cli
