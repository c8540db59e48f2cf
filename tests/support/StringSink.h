#pragma once

#include <string>
#include <string_view>

#include "TextSink.h"

namespace kestrin::testing {

/// kestrin-cut's text kept in a string, for a run in this process.
class StringSink : public TextSink {
  public:
    void Write(std::string_view text) override { text_ += text; }
    const std::string& str() const { return text_; }

  private:
    std::string text_;
};

}  // namespace kestrin::testing
