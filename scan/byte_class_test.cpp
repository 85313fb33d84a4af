#include "scan/byte_class.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace id3sniff {
namespace {

TEST(Octal, HoldsOctalDigitsAsDecimalNumbers) {
  const auto table = Octal();
  const std::vector<std::pair<int, std::uint32_t>> cases = {
      {0, 0},    {7, 7},     {8, 10},    {15, 17},   {31, 37},   {63, 77},
      {64, 100}, {100, 144}, {127, 177}, {192, 300}, {200, 310}, {255, 377}};
  for (const auto& [index, expected] : cases) {
    EXPECT_EQ(table[static_cast<std::size_t>(index)], expected) << "entry " << index;
  }
}

TEST(Octal, FillsEveryEntryOutsideThePassedOverRange) {
  const auto table = Octal();
  for (unsigned i = 0; i < kOctalTableSize; ++i) {
    const bool passed_over = i >= 128 && i < 192;
    std::uint32_t octal = 0;
    for (unsigned n = i, scale = 1; n > 0; n /= 8, scale *= 10) octal += (n % 8) * scale;
    EXPECT_EQ(table[i], passed_over ? 0u : octal) << "entry " << i;
  }
}

TEST(ControlSet, NamesEveryValueBelow32) {
  const auto table = Octal();
  const ControlSet set = FormControlSet(table.get());
  for (std::size_t v = 0; v < kControlSetSize; ++v) EXPECT_TRUE(set[v]) << v;
}

TEST(ClassifyByte, SplitsTheByteValuesIntoFourClasses) {
  const auto table = Octal();
  const ControlSet set = FormControlSet(table.get());
  const ClassTable classes = BuildClassTable(table.get());
  const std::vector<std::pair<int, ByteClass>> cases = {
      {0, ByteClass::Ignored},     {1, ByteClass::Control},     {7, ByteClass::Control},
      {8, ByteClass::Ignored},     {9, ByteClass::Ignored},     {10, ByteClass::Ignored},
      {13, ByteClass::Ignored},    {14, ByteClass::Control},    {31, ByteClass::Control},
      {32, ByteClass::Printable},  {'0', ByteClass::Printable}, {'9', ByteClass::Printable},
      {'A', ByteClass::Printable}, {126, ByteClass::Printable}, {127, ByteClass::High},
      {0xC3, ByteClass::High},     {255, ByteClass::High}};
  for (const auto& [b, expected] : cases) {
    EXPECT_EQ(ClassifyByte(static_cast<std::uint8_t>(b), set), expected) << "byte " << b;
    EXPECT_EQ(classes[static_cast<std::size_t>(b)], expected) << "table entry " << b;
  }
}

}  // namespace
}  // namespace id3sniff
