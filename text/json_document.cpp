// JsonDocument over nlohmann::ordered_json. Paths such as «data.data[3].resName» are read by a
// small path reader and followed over the value with the rules of script member access: a
// missing member is "undefined" (type 0), a member of null or of a missing value cannot be
// followed at all (type -1), and an operation that cannot follow its path changes nothing.
#include "text/json_document.h"

#include <climits>
#include <cmath>
#include <nlohmann/json.hpp>
#include <variant>
#include <vector>

#include "text/charset.h"

namespace zelbrin {

using Json = nlohmann::ordered_json;

struct JsonDocument::Value {
    Json json;
};

namespace {

// How an operation joins its path to the document (see the header's path forms).
enum class PathRule {
    kDot,            // "name..." only; "" and "[..." cannot be followed
    kBracket,        // "name..." or "[index]..."; "" cannot be followed
    kDotOrRoot,      // as kDot, "" is the document itself
    kBracketOrRoot,  // as kBracket, "" is the document itself
};

struct Segment {
    std::variant<std::string, long long> key;  // member name (UTF-8) or array index
};
using Path = std::vector<Segment>;

bool isNameByte(char c) { return c != '.' && c != '[' && c != ']' && c != '\'' && c != '"'; }

// Reads "[123]", "['name']" or "[\"name\"]" at `at`.
bool readBracket(const std::string& path, std::size_t& at, Path& out) {
    ++at;  // '['
    if (at < path.size() && (path[at] == '\'' || path[at] == '"')) {
        const char quote = path[at++];
        const std::size_t close = path.find(quote, at);
        if (close == std::string::npos || close + 1 >= path.size() || path[close + 1] != ']') {
            return false;
        }
        out.push_back({path.substr(at, close - at)});
        at = close + 2;
        return true;
    }
    bool negative = false;
    if (at < path.size() && path[at] == '-') {
        negative = true;
        ++at;
    }
    const std::size_t digitsStart = at;
    long long index = 0;
    for (; at < path.size() && path[at] >= '0' && path[at] <= '9'; ++at) {
        if (index < LLONG_MAX / 20) index = index * 10 + (path[at] - '0');
    }
    if (at == digitsStart || at >= path.size() || path[at] != ']') return false;
    ++at;
    out.push_back({negative ? -index : index});
    return true;
}

// The path as segments, or nothing when the joined expression would not be valid.
std::optional<Path> readPath(std::string_view gbkPath, PathRule rule) {
    const std::string path = gbkToUtf8(gbkPath);
    Path out;
    if (path.empty()) {
        if (rule == PathRule::kDotOrRoot || rule == PathRule::kBracketOrRoot) return out;
        return std::nullopt;
    }
    const bool bracketAllowed = rule == PathRule::kBracket || rule == PathRule::kBracketOrRoot;
    std::size_t at = 0;
    bool expectName = !(bracketAllowed && path[0] == '[');
    while (at < path.size() || expectName) {
        if (expectName) {
            const std::size_t start = at;
            while (at < path.size() && isNameByte(path[at])) ++at;
            if (at == start) return std::nullopt;
            out.push_back({path.substr(start, at - start)});
            expectName = false;
            continue;
        }
        if (path[at] == '.') {
            ++at;
            expectName = true;
        } else if (path[at] == '[') {
            if (!readBracket(path, at, out)) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// Where a path leads: a value, nowhere (a missing member or element), or it cannot be
// followed (a member of null or of a missing value).
struct Lookup {
    enum class Kind { kFound, kMissing, kFailed } kind;
    Json* value = nullptr;
};

std::string memberName(const Segment& segment) {
    if (const auto* name = std::get_if<std::string>(&segment.key)) return *name;
    return std::to_string(std::get<long long>(segment.key));
}

Lookup step(Json& current, const Segment& segment) {
    if (current.is_null()) return {Lookup::Kind::kFailed};
    if (current.is_object()) {
        const auto it = current.find(memberName(segment));
        if (it == current.end()) return {Lookup::Kind::kMissing};
        return {Lookup::Kind::kFound, &*it};
    }
    if (current.is_array()) {
        const auto* index = std::get_if<long long>(&segment.key);
        if (index == nullptr || *index < 0 || static_cast<std::size_t>(*index) >= current.size()) {
            return {Lookup::Kind::kMissing};
        }
        return {Lookup::Kind::kFound, &current[static_cast<std::size_t>(*index)]};
    }
    return {Lookup::Kind::kMissing};  // a member of a string, number or boolean
}

Lookup follow(Json& root, const Path& path, std::size_t segments) {
    Lookup at{Lookup::Kind::kFound, &root};
    for (std::size_t i = 0; i < segments; ++i) {
        if (at.kind == Lookup::Kind::kMissing) return {Lookup::Kind::kFailed};
        at = step(*at.value, path[i]);
        if (at.kind == Lookup::Kind::kFailed) return at;
    }
    return at;
}

// Stores `value` at the path. Like a script assignment it fails when the parent cannot be
// reached, and has no visible effect on a string, number or boolean parent.
bool assign(Json& root, const Path& path, Json value) {
    if (path.empty()) {
        root = std::move(value);
        return true;
    }
    const Lookup parent = follow(root, path, path.size() - 1);
    if (parent.kind != Lookup::Kind::kFound || parent.value->is_null()) return false;
    Json& target = *parent.value;
    const Segment& last = path.back();
    if (target.is_object()) {
        target[memberName(last)] = std::move(value);
    } else if (target.is_array()) {
        const auto* index = std::get_if<long long>(&last.key);
        // Indices far beyond the end would make a huge array of nulls; treat them as unusable.
        if (index == nullptr || *index < 0 || *index > INT_MAX) return false;
        const auto slot = static_cast<std::size_t>(*index);
        if (slot >= target.size()) target.get_ref<Json::array_t&>().resize(slot + 1);
        target[slot] = std::move(value);
    }
    return true;
}

// JSON texts arrive in code page 936 (the chapter list's bytes are read that way), so a
// «\u4e2d» escape and a literal 中 end up as the same character.
std::optional<Json> parseJson(std::string_view gbk) {
    try {
        Json value = Json::parse(gbkToUtf8(gbk), nullptr, false);
        if (value.is_discarded()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;  // never escapes: failures are values here
    }
}

Text dumpGbk(const Json& value) {
    return utf8ToGbk(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

// A real as the document stores it: integral values as integers, so that they come back out
// of toJson as «3», not «3.0».
Json numberValue(double value) {
    constexpr double kExact = 9007199254740992.0;  // 2^53
    // Range first: converting a real beyond long long (or NaN) to an integer is undefined.
    if (value > -kExact && value < kExact &&
        value == static_cast<double>(static_cast<long long>(value)) &&
        !(value == 0 && std::signbit(value))) {
        return static_cast<long long>(value);
    }
    return value;
}

// A value text: with `raw` a JSON text (empty meaning {} where `emptyIsObject`), otherwise a
// string.
std::optional<Json> valueOf(std::string_view value, bool raw, bool emptyIsObject) {
    if (!raw) return Json(gbkToUtf8(value));
    if (value.empty() && emptyIsObject) return Json::object();
    return parseJson(value);
}

// Script's splice(start, 1): a negative start counts from the end.
void spliceOne(Json& array, long long index) {
    const auto size = static_cast<long long>(array.size());
    if (index < 0) index = index + size < 0 ? 0 : index + size;
    if (index >= size) return;
    array.erase(array.begin() + index);
}

}  // namespace

JsonDocument::JsonDocument() : value_(std::make_shared<Value>(Value{Json::object()})) {}
JsonDocument::JsonDocument(std::shared_ptr<Value> value) : value_(std::move(value)) {}
JsonDocument::~JsonDocument() = default;
JsonDocument::JsonDocument(JsonDocument&&) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&&) noexcept = default;

JsonDocument JsonDocument::copy() const { return JsonDocument(value_); }

bool JsonDocument::parse(std::string_view json) {
    // A fresh value: documents copied from this one keep the old value.
    std::optional<Json> parsed = parseJson(json);
    value_ = std::make_shared<Value>(Value{parsed ? std::move(*parsed) : Json()});
    return !value_->json.is_null();
}

Text JsonDocument::toJson() const {
    if (!value_) return {};
    return dumpGbk(value_->json);
}

void JsonDocument::setText(std::string_view path, std::string_view value, bool raw) {
    const auto segments = readPath(path, PathRule::kDot);
    const auto parsed = valueOf(value, raw, true);
    if (!value_ || !segments || !parsed) return;
    assign(value_->json, *segments, *parsed);
}

void JsonDocument::setJson(std::string_view path, std::string_view json) {
    const auto segments = readPath(path, PathRule::kDot);
    const auto parsed = parseJson(json);
    if (!value_ || !segments || !parsed) return;
    assign(value_->json, *segments, *parsed);
}

void JsonDocument::setNumber(std::string_view path, double value) {
    const auto segments = readPath(path, PathRule::kDot);
    if (!value_ || !segments) return;
    assign(value_->json, *segments, numberValue(value));
}

double JsonDocument::getNumber(std::string_view path) const {
    const auto segments = readPath(path, PathRule::kDot);
    if (!value_ || !segments) return 0;
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound || !at.value->is_number()) return 0;
    return at.value->get<double>();
}

Text JsonDocument::getJson(std::string_view path) const {
    const auto segments = readPath(path, PathRule::kDot);
    if (!value_ || !segments) return {};
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound) return {};
    return dumpGbk(*at.value);
}

namespace {

// The text form of a value: strings as their text, numbers as numberToText writes reals,
// booleans as «true»/«false», objects and arrays as JSON, null as the empty text.
Text textOf(const Json& value) {
    if (value.is_string()) return utf8ToGbk(value.get_ref<const std::string&>());
    if (value.is_number()) return numberToText(value.get<double>());
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    if (value.is_null()) return {};
    return dumpGbk(value);
}

}  // namespace

Text JsonDocument::getText(std::string_view path, bool asJson) const {
    const auto segments = readPath(path, PathRule::kBracket);
    if (!value_ || !segments) return {};
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound) return {};
    return asJson ? dumpGbk(*at.value) : textOf(*at.value);
}

JsonDocument JsonDocument::getObject(std::string_view path) const {
    JsonDocument result;
    result.parse(getText(path, true));
    return result;
}

int JsonDocument::memberCount(std::string_view path) const {
    const auto segments = readPath(path, PathRule::kBracketOrRoot);
    if (!value_ || !segments) return 0;
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound) return 0;
    if (!at.value->is_object() && !at.value->is_array()) return 0;
    return static_cast<int>(at.value->size());
}

void JsonDocument::append(std::string_view value, std::string_view path, bool raw) {
    const auto segments = readPath(path, PathRule::kDotOrRoot);
    // A raw empty value pushes nothing, but the member still becomes an array.
    std::optional<Json> element;
    if (!raw || !value.empty()) {
        element = valueOf(value, raw, false);
        if (!element) return;
    }
    if (!value_ || !segments) return;
    Json& root = value_->json;
    const Lookup at = follow(root, *segments, segments->size());
    if (at.kind == Lookup::Kind::kFailed) return;
    if (at.kind == Lookup::Kind::kMissing || !at.value->is_array()) {
        if (!assign(root, *segments, Json::array())) return;
    }
    const Lookup array = follow(root, *segments, segments->size());
    if (array.kind != Lookup::Kind::kFound || !array.value->is_array()) return;
    if (element) array.value->push_back(std::move(*element));
}

JsonDocument JsonDocument::getElementObject(int index, std::string_view path) const {
    JsonDocument result;
    result.parse(getElementText(index, path, true));
    return result;
}

Text JsonDocument::getElementText(int index, std::string_view path, bool asJson) const {
    auto segments = readPath(path, PathRule::kDotOrRoot);
    if (!value_ || !segments) return {};
    segments->push_back({static_cast<long long>(index)});
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound) return {};
    return asJson ? dumpGbk(*at.value) : textOf(*at.value);
}

void JsonDocument::setElement(int index, std::string_view value, bool raw) {
    const auto parsed = valueOf(value, raw, false);
    if (!value_ || !parsed) return;
    assign(value_->json, Path{Segment{static_cast<long long>(index)}}, *parsed);
}

void JsonDocument::removeElementAt(int index) {
    if (!value_ || !value_->json.is_array()) return;
    spliceOne(value_->json, index);
}

void JsonDocument::removeElement(std::string_view elementPath) {
    // Only the first bracket counts: «a[1].b[2]» removes a[1].
    const Text arrayPath = textBefore(elementPath, "[");
    if (!value_ || arrayPath.empty()) return;
    const auto segments = readPath(arrayPath, PathRule::kDot);
    if (!segments) return;
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind != Lookup::Kind::kFound || !at.value->is_array()) return;
    spliceOne(*at.value, textToInt(textBetween(elementPath, "[", "]")));
}

void JsonDocument::reset(int typeCode) {
    if (!value_) return;
    if (typeCode == 0 || typeCode == 4) value_->json = Json::object();
    if (typeCode == 5) value_->json = Json::array();
}

void JsonDocument::setRoot(std::string_view value, bool raw) {
    const auto parsed = valueOf(value, raw, false);
    if (!value_ || !parsed) return;
    value_->json = *parsed;
}

bool JsonDocument::has(std::string_view path) const {
    const auto segments = readPath(path, PathRule::kDot);
    if (!value_ || !segments) return false;
    const Lookup at = follow(value_->json, *segments, segments->size());
    return at.kind == Lookup::Kind::kFound && !at.value->is_null();
}

int JsonDocument::keys(TextList& names, std::string_view path) const {
    TextList found;
    const auto segments = value_ ? readPath(path, PathRule::kBracketOrRoot) : std::nullopt;
    if (segments) {
        const Lookup at = follow(value_->json, *segments, segments->size());
        if (at.kind == Lookup::Kind::kFound && at.value->is_object()) {
            for (const auto& member : at.value->items()) found.push_back(utf8ToGbk(member.key()));
        } else if (at.kind == Lookup::Kind::kFound && at.value->is_array()) {
            for (std::size_t i = 0; i < at.value->size(); ++i) found.push_back(std::to_string(i));
        }
    }
    names = std::move(found);
    return static_cast<int>(names.size());
}

int JsonDocument::typeOf(std::string_view path) const {
    const auto segments = readPath(path, PathRule::kDotOrRoot);
    if (!value_ || !segments) return -1;
    const Lookup at = follow(value_->json, *segments, segments->size());
    if (at.kind == Lookup::Kind::kFailed) return -1;
    if (at.kind == Lookup::Kind::kMissing) return 0;
    switch (at.value->type()) {
        case Json::value_t::null:
            return 0;
        case Json::value_t::boolean:
            return 1;
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return 2;
        case Json::value_t::object:
            return 4;
        case Json::value_t::array:
            return 5;
        case Json::value_t::string:
            return 6;
        default:
            return -1;
    }
}

void JsonDocument::clear() {
    if (value_) value_->json = Json::object();
}

}  // namespace zelbrin
