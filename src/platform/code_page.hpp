#pragma once
// The system's ANSI code page at the network boundary: UTF-8 inside the
// tool, code page 949 on the wire to FTP and HTTP servers.

#include <optional>
#include <string>
#include <string_view>

namespace parone {

class CodePage {
 public:
  virtual ~CodePage() = default;
  // nullopt when a character has no representation in the code page.
  virtual std::optional<std::string> FromUtf8(std::string_view utf8) const = 0;
  // Bytes that do not decode become U+FFFD.
  virtual std::string ToUtf8(std::string_view bytes) const = 0;
};

// Code page 949 (Unified Hangul Code) through iconv. Stateless after
// construction; safe to share.
class Cp949CodePage final : public CodePage {
 public:
  std::optional<std::string> FromUtf8(std::string_view utf8) const override;
  std::string ToUtf8(std::string_view bytes) const override;
};

}  // namespace parone
