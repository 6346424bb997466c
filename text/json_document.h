// One JSON value queried by path: "data", "data.data", "data.data[3].resName".
//
// Paths are read by a small path reader over the parsed value; received text is never run as
// code. Texts in and out are code page 936. Failed look-ups yield "", 0 or false and change
// nothing. Type codes: 0 null or missing, 1 boolean, 2 number, 4 object, 5 array, 6 string,
// -1 anything else (a path that cannot be followed, such as a member of a missing value).
#pragma once

#include <memory>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

class JsonDocument {
public:
    JsonDocument();  // an empty object
    ~JsonDocument();
    JsonDocument(JsonDocument&&) noexcept;
    JsonDocument& operator=(JsonDocument&&) noexcept;
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // A second handle on the same value: changes through one show through the other.
    JsonDocument copy() const;

    // True when the text is JSON whose value is not null. A failed parse leaves null behind.
    bool parse(std::string_view json);
    Text toJson() const;

    void setText(std::string_view path, std::string_view value, bool raw = false);
    void setJson(std::string_view path, std::string_view json);
    void setNumber(std::string_view path, double value);
    double getNumber(std::string_view path) const;
    Text getJson(std::string_view path) const;
    // Strings as their text, numbers as numberToText writes reals («123456», «2.5»).
    Text getText(std::string_view path, bool asJson = false) const;
    // An independent copy of the value at the path.
    JsonDocument getObject(std::string_view path) const;
    // Own members of an object, elements of an array; below 1 means none.
    int memberCount(std::string_view path = {}) const;
    void append(std::string_view value, std::string_view path = {}, bool raw = false);
    JsonDocument getElementObject(int index, std::string_view path = {}) const;
    Text getElementText(int index, std::string_view path = {}, bool asJson = false) const;
    void setElement(int index, std::string_view value, bool raw = false);
    void removeElementAt(int index);
    void removeElement(std::string_view elementPath);
    void reset(int typeCode);
    void setRoot(std::string_view value, bool raw = false);
    bool has(std::string_view path) const;
    // Replaces `names` by the member names (or indices) and returns their number.
    int keys(TextList& names, std::string_view path = {}) const;
    int typeOf(std::string_view path = {}) const;
    void clear();

    const Text& varName() const { return varName_; }

private:
    struct Value;
    explicit JsonDocument(std::shared_ptr<Value> value);

    Text varName_ = "da";
    std::shared_ptr<Value> value_;
};

}  // namespace zelbrin
