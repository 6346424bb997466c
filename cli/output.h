// Where zelbrin-cli writes. Everything it writes is code page 936 text, like every text inside
// the program; an Output turns it into what its destination needs.
#pragma once

#include <string_view>

#include "text/text.h"

namespace zelbrin::cli {

class Output {
public:
    virtual ~Output() = default;
    virtual void write(std::string_view text) = 0;
    // True for an interactive terminal, where progress is redrawn in place.
    virtual bool isTerminal() const { return false; }
};

// Collects what is written, for tests and for callers that want the text.
class TextOutput final : public Output {
public:
    explicit TextOutput(bool terminal = false) : terminal_(terminal) {}
    void write(std::string_view text) override { text_ += text; }
    bool isTerminal() const override { return terminal_; }
    const Text& text() const { return text_; }

private:
    bool terminal_;
    Text text_;
};

}  // namespace zelbrin::cli
