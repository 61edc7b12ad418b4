// MCS sampling: byte counters and the tree written to "mcs_scan.dat".
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <queue>
#include <random>

#include "compress_helpers.h"
#include "support/kvxtest.h"

using namespace cmptest;

namespace {

constexpr int kNodes = 512;

struct ScanFile {
  int root;
  std::array<int, kNodes> parent, zero, one;
};

int be16(const Bytes& b, std::size_t at) {
  return static_cast<std::int16_t>((b[at] << 8) | b[at + 1]);
}

ScanFile parse(const Bytes& b) {
  ScanFile f{};
  f.root = be16(b, 0);
  for (int i = 0; i < kNodes; ++i) {
    f.parent[i] = be16(b, 2 + 6 * i);
    f.zero[i] = be16(b, 4 + 6 * i);
    f.one[i] = be16(b, 6 + 6 * i);
  }
  return f;
}

// Runs each test in its own scratch working directory.
class Sampling : public testing::Test {
protected:
  void SetUp() override {
    if (mcsSampleIsOn()) mcsSampleStop();
    old_ = std::filesystem::current_path();
    dir_ = kvxtest::scratchDir(testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::current_path(dir_);
  }
  void TearDown() override { std::filesystem::current_path(old_); }

  Bytes stopAndRead() {
    EXPECT_EQ(mcsSampleStop(), 0);
    Bytes b = kvxtest::readFile(dir_ + "/mcs_scan.dat");
    EXPECT_EQ(b.size(), 3074u);
    return b;
  }

  std::filesystem::path old_;
  std::string dir_;
};

TEST_F(Sampling, EvenCountsGiveBalancedTree) {
  mcsSampleStart();
  const Bytes b = stopAndRead();
  ASSERT_EQ(b.size(), 3074u);
  const ScanFile f = parse(b);
  EXPECT_EQ(f.root, 510);
  // Equal counts pair neighbours in order: 0+1 -> 256, 2+3 -> 257, ...
  EXPECT_EQ(f.parent[0], 256);
  EXPECT_EQ(f.parent[1], 256);
  EXPECT_EQ(f.zero[256], 0);
  EXPECT_EQ(f.one[256], 1);
  EXPECT_EQ(f.zero[257], 2);
  EXPECT_EQ(f.zero[383], 254);
  EXPECT_EQ(f.zero[384], 256);
  EXPECT_EQ(f.one[384], 257);
  EXPECT_EQ(f.zero[510], 508);
  EXPECT_EQ(f.one[510], 509);
  EXPECT_EQ(f.parent[510], -1);
  EXPECT_EQ(f.parent[511], -1);
  EXPECT_EQ(f.zero[511], -1);
  EXPECT_EQ(f.one[511], -1);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(f.zero[i], -1);
    int depth = 0;
    for (int n = i; f.parent[n] != -1; n = f.parent[n]) ++depth;
    EXPECT_EQ(depth, 8) << i;
  }
  EXPECT_FALSE(mcsSampleIsOn());
}

TEST_F(Sampling, TreeIsOptimalForItsCounts) {
  std::mt19937 rng(4711);
  std::uniform_int_distribution<int> len(0, 60);
  mcsSampleStart();
  Bytes traffic;
  for (int v = 0; v < 256; ++v) traffic.insert(traffic.end(), static_cast<std::size_t>(len(rng)), static_cast<std::uint8_t>(v));
  std::shuffle(traffic.begin(), traffic.end(), rng);
  mcsSampleCount(traffic.data(), static_cast<int>(traffic.size()));
  std::array<long, 256> count{};
  for (int v = 0; v < 256; ++v) count[v] = mcsSampleCounter(v);
  const ScanFile f = parse(stopAndRead());

  long cost = 0;
  for (int v = 0; v < 256; ++v) {
    int depth = 0;
    for (int n = v; f.parent[n] != -1; n = f.parent[n]) {
      const int p = f.parent[n];
      ASSERT_TRUE(f.zero[p] == n || f.one[p] == n);
      ++depth;
    }
    cost += count[v] * depth;
  }
  // Each merge takes the smallest count as its bit-0 child.
  std::array<long, kNodes> weight{};
  for (int v = 0; v < 256; ++v) weight[v] = count[v];
  for (int n = 256; n <= f.root; ++n) {
    weight[n] = weight[f.zero[n]] + weight[f.one[n]];
    EXPECT_LE(weight[f.zero[n]], weight[f.one[n]]) << n;
  }
  // Any Huffman tree has the minimum weighted path length.
  std::priority_queue<long, std::vector<long>, std::greater<>> q(count.begin(), count.end());
  long best = 0;
  while (q.size() > 1) {
    const long a = q.top();
    q.pop();
    const long b = q.top();
    q.pop();
    best += a + b;
    q.push(a + b);
  }
  EXPECT_EQ(cost, best);
}

TEST_F(Sampling, WrappedCounterDividesAllByThree) {
  mcsSampleStart();
  mcsSampleCount(Bytes(299, 'B').data(), 299);
  mcsSampleCount(Bytes(5, 'C').data(), 5);
  ASSERT_EQ(mcsSampleCounter('B'), 300);
  const Bytes many(65535, 'A');
  mcsSampleCount(many.data(), static_cast<int>(many.size()));
  EXPECT_EQ(mcsSampleCounter('A'), 0);
  EXPECT_EQ(mcsSampleCounter('B'), 100);
  EXPECT_EQ(mcsSampleCounter('C'), 2);
  EXPECT_EQ(mcsSampleCounter(0), 0);
  // Only two counts left: B and C under one root; zero counts stay out.
  const ScanFile f = parse(stopAndRead());
  EXPECT_EQ(f.root, 256);
  EXPECT_EQ(f.zero[256], 'C');
  EXPECT_EQ(f.one[256], 'B');
  EXPECT_EQ(f.parent['A'], -1);
  EXPECT_EQ(f.parent[257], -1);
}

TEST_F(Sampling, SingleCountIsTheRoot) {
  mcsSampleStart();
  mcsSampleCount(Bytes(65535, 'A').data(), 65535); // everything else divides to 0
  mcsSampleCount(Bytes(7, 'q').data(), 7);
  const ScanFile f = parse(stopAndRead());
  EXPECT_EQ(f.root, 'q');
  for (int i = 0; i < kNodes; ++i) EXPECT_EQ(f.parent[i], -1);
}

TEST_F(Sampling, StartWhileOnKeepsCountsAndOffCountsNothing) {
  mcsSampleCount(Bytes(3, 'x').data(), 3);
  EXPECT_EQ(mcsSampleCounter('x'), -1);
  mcsSampleStart();
  mcsSampleCount(Bytes(3, 'x').data(), 3);
  mcsSampleStart();
  EXPECT_EQ(mcsSampleCounter('x'), 4);
  EXPECT_EQ(mcsSampleStop(), 0);
  EXPECT_EQ(mcsSampleStop(), -1);
}

TEST_F(Sampling, StopWhenOffWritesNothing) {
  EXPECT_EQ(mcsSampleStop(), -1);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/mcs_scan.dat"));
}

TEST_F(Sampling, FileThatCannotBeCreated) {
  std::filesystem::create_directory(dir_ + "/mcs_scan.dat");
  mcsSampleStart();
  EXPECT_EQ(mcsSampleStop(), -2);
  EXPECT_FALSE(mcsSampleIsOn());
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/mcs_scan.dat"));
}

} // namespace
