// Throughput of the conversions and case routines that every indexed file and every
// search goes through.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "platform/codepage.h"
#include "textlib/unicode.h"

namespace {

std::u16string MixedText(size_t units) {
  std::mt19937 rng(42);
  const std::u16string alphabet = u"abcdefghijklmnopqrstuvwxyz ÄÖÜäöüß€—Жж漢字\t";
  std::u16string s(units, u' ');
  for (auto& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

void BM_EncodeUtf8(benchmark::State& state) {
  const auto text = MixedText(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(textlib::EncodeUtf8(text));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_EncodeUtf8);

void BM_DecodeUtf8(benchmark::State& state) {
  const auto bytes = textlib::EncodeUtf8(MixedText(1 << 20));
  for (auto _ : state) benchmark::DoNotOptimize(textlib::DecodeUtf8(bytes));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_DecodeUtf8);

void BM_UnicodeUpperCase(benchmark::State& state) {
  const auto text = MixedText(1 << 16);
  for (auto _ : state) benchmark::DoNotOptimize(textlib::UnicodeUpperCase(text));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_UnicodeUpperCase);

void BM_AnsiRoundTrip(benchmark::State& state) {
  std::string bytes(1 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131);
  for (auto _ : state) benchmark::DoNotOptimize(platform::WideToAnsi(platform::AnsiToWide(bytes)));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_AnsiRoundTrip);

}  // namespace
