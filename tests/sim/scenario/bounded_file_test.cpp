// SPDX-License-Identifier: MIT
// The launcher's reading of the files it is handed: whole up to the limit,
// not a byte past it, and only regular files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "bounded_file.h"

namespace kivsim {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

TEST(BoundedFile, ReadsWholeUpToTheLimitAndNamesWhyNot) {
  char dir[] = "/tmp/kiv-bounded-file-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string full = std::string(dir) + "/full", over = std::string(dir) + "/over";
  for (const auto& file : {std::make_pair(full, kMiB), std::make_pair(over, kMiB + 1)}) {
    FILE* f = std::fopen(file.first.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fwrite(std::string(file.second, 'x').data(), 1, file.second, f);
    std::fclose(f);
  }
  struct Row {
    std::string path;
    std::string why;
    size_t size;  // of what was read, when it was
  };
  const Row rows[] = {
      {full, "", kMiB},
      {over, "larger than 1 MiB", 0},
      {std::string(dir) + "/missing", "No such file or directory", 0},
      {dir, "not a regular file", 0},
      {"/dev/zero", "not a regular file", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    std::string content = "untouched";
    EXPECT_EQ(read_bounded_file(row.path, kMiB, content), row.why);
    EXPECT_EQ(content.size(), row.why.empty() ? row.size : 9u) << "kept on a refusal";
  }
  // Files under /proc give no size: they are read to their end all the same.
  std::string status;
  EXPECT_EQ(read_bounded_file("/proc/self/status", kMiB, status), "");
  EXPECT_NE(status.find("\nPid:"), std::string::npos);
  unlink(full.c_str());
  unlink(over.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace kivsim
