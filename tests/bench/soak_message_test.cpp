// SPDX-License-Identifier: MIT
// The soak's messages found again in a received stream: whole whatever the
// chunking and whatever lies between them, and every corrupt or missing one
// counted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message_stream.h"

namespace {

using Stream = std::vector<unsigned char>;

// `count` messages; a light frame after every third, if `frames`. Returns
// the bytes of the messages themselves in `message_bytes`.
Stream make_stream(int count, bool frames, size_t* message_bytes,
                   std::vector<Stream>* each = nullptr) {
  soak::MessageSource source;
  Stream s;
  *message_bytes = 0;
  for (int i = 0; i < count; ++i) {
    unsigned char m[soak::kMaxMessage];
    const size_t n = source.next(m);
    if (each != nullptr)
      each->emplace_back(m, m + n);
    s.insert(s.end(), m, m + n);
    *message_bytes += n;
    if (frames && i % 3 == 0)
      s.insert(s.end(), {'1', '-', '1', '\r', '\n'});
  }
  return s;
}

TEST(SoakMessages, FoundWholeWhateverTheChunksAndTheFramesBetween) {
  size_t message_bytes = 0;
  const Stream s = make_stream(60, true, &message_bytes);
  for (size_t chunk : {1u, 3u, 7u, 64u, 4096u}) {
    SCOPED_TRACE(chunk);
    soak::MessageChecker checker;
    for (size_t at = 0; at < s.size(); at += chunk)
      checker.feed(s.data() + at, std::min(chunk, s.size() - at));
    EXPECT_EQ(checker.messages.load(), 60u);
    EXPECT_EQ(checker.good_bytes.load(), message_bytes);
    EXPECT_EQ(checker.foreign.load(), 20u * 5u);
    EXPECT_EQ(checker.corrupt.load(), 0u);
    EXPECT_EQ(checker.missing.load(), 0u);
  }
}

TEST(SoakMessages, CorruptAndMissingMessagesAreCounted) {
  size_t all_bytes = 0;
  std::vector<Stream> each;
  make_stream(5, false, &all_bytes, &each);
  each[1][10] ^= 0x01;  // a payload bit flipped
  Stream s;
  for (size_t i : {0u, 1u, 4u})  // 2 and 3 never arrive
    s.insert(s.end(), each[i].begin(), each[i].end());
  soak::MessageChecker checker;
  checker.feed(s.data(), s.size());
  EXPECT_EQ(checker.messages.load(), 2u);
  EXPECT_EQ(checker.good_bytes.load(), each[0].size() + each[4].size());
  EXPECT_GE(checker.corrupt.load(), 1u);
  EXPECT_EQ(checker.missing.load(), 3u);
}

}  // namespace
