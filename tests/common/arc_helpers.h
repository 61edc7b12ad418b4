#pragma once
// Shared pieces of the packed-message tests: a log captured to a scratch file
// and a small ZENBUF builder for hand-made (also malformed) buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/log.h"
#include "support/kvxtest.h"

namespace arctest {

// Opens the trace log on a fresh scratch file; text() closes it and returns
// what was written.
class LogCapture {
 public:
  explicit LogCapture(const std::string& name, const char* options = "") {
    logReset();
    logOptions(options);
    path_ = kvxtest::scratchDir("arc_" + name) + "/trace.log";
    EXPECT_EQ(logOpen(path_.c_str(), 0), 0);
  }
  ~LogCapture() { logReset(); }
  std::string text() {
    logClose();
    std::vector<std::uint8_t> b = kvxtest::readFile(path_);
    return std::string(b.begin(), b.end());
  }

 private:
  std::string path_;
};

inline std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Raw big-endian bytes, whatever they say.
struct Raw {
  std::vector<std::uint8_t> bytes;
  Raw& u16(int v) {
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Raw& u32(std::int64_t v) {
    u16(static_cast<int>((v >> 16) & 0xFFFF));
    return u16(static_cast<int>(v & 0xFFFF));
  }
  Raw& text(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Raw& byte(int b) {
    bytes.push_back(static_cast<std::uint8_t>(b));
    return *this;
  }
  // Header: Pri P Q Seg func Sub Prm len.
  static Raw header(int func, int sub, int prm, int len, std::int32_t pri = 0, std::int32_t p = 0,
                    std::int32_t q = 0, std::int32_t seg = 0) {
    Raw r;
    r.u32(pri).u32(p).u32(q).u32(seg).u16(func).u16(sub).u16(prm).u16(len);
    return r;
  }
};

} // namespace arctest
