// Decoding throughput beside a plain copy of the same buffer, and the time to parse a full string table. The
// copy is the yardstick: a decoder within a few times of it costs nothing next to the file read.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/testing/ModelCodePages.h"
#include "text/StringTable.h"
#include "text/Utf8Decoder.h"

namespace {

constexpr std::size_t kMegabyte = 1u << 20;

std::string asciiText() {
    std::string text;
    const std::string line =
        "  <String Key=\"LabelCheckBoxDuplexWordID\" Value=\"Print on both sides\"/>\r\n";
    while (text.size() + line.size() <= kMegabyte) text += line;
    text.append(kMegabyte - text.size(), ' ');
    return text;
}

// Latin text with accents and Japanese text in turn, as a localised string file might mix them.
std::string mixedText() {
    std::string text;
    const std::string latin =
        "Impression recto verso, qualit\xC3\xA9 \xC3\xA9lev\xC3\xA9"
        "e ";
    const std::string cjk =
        "\xE4\xB8\xA1\xE9\x9D\xA2\xE5\x8D\xB0\xE5\x88\xB7\xE3\x81\xA8\xE5\x93\x81\xE8\xB3\xAA ";
    while (text.size() + latin.size() + cjk.size() <= kMegabyte) text += latin + cjk;
    text.append(kMegabyte - text.size(), ' ');
    return text;
}

void copy(benchmark::State& state, const std::string& input) {
    std::vector<char> output(input.size());
    for (auto _ : state) {
        std::memcpy(output.data(), input.data(), input.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

// Into an output that keeps its capacity, as the copy's target does: the decoding alone.
void decode(benchmark::State& state, const std::string& input) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    std::u16string units;
    units.reserve(input.size());
    for (auto _ : state) {
        units.clear();
        const bool decoded = decodeUtf8(bytes, input.size(), units);
        benchmark::DoNotOptimize(decoded);
        benchmark::DoNotOptimize(units.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

// Into a new output each time, as a file load does: the decoding and its allocation.
void decodeFresh(benchmark::State& state, const std::string& input) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (auto _ : state) {
        std::u16string units;
        const bool decoded = decodeUtf8(bytes, input.size(), units);
        benchmark::DoNotOptimize(decoded);
        benchmark::DoNotOptimize(units.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BM_MemcpyAscii1MB(benchmark::State& state) {
    copy(state, asciiText());
}
void BM_DecodeAscii1MB(benchmark::State& state) {
    decode(state, asciiText());
}
void BM_DecodeAscii1MBFreshOutput(benchmark::State& state) {
    decodeFresh(state, asciiText());
}
void BM_MemcpyMixed1MB(benchmark::State& state) {
    copy(state, mixedText());
}
void BM_DecodeMixed1MB(benchmark::State& state) {
    decode(state, mixedText());
}

void BM_ParseStringTable249Entries(benchmark::State& state) {
    std::string content = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Strings>\r\n";
    for (int i = 0; i < 248; ++i) {
        content += "  <String Key=\"LabelDropDownQualityWordID" + std::to_string(i) +
                   "\" Value=\"%PRODUCT% quality " + std::to_string(i) + "\"/>\r\n";
    }
    content += "</Strings>\r\n";
    const SingleByteCodePage codePage;
    for (auto _ : state) {
        StringTable table(codePage);
        benchmark::DoNotOptimize(table.parse(content));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
}

BENCHMARK(BM_MemcpyAscii1MB);
BENCHMARK(BM_DecodeAscii1MB);
BENCHMARK(BM_DecodeAscii1MBFreshOutput);
BENCHMARK(BM_MemcpyMixed1MB);
BENCHMARK(BM_DecodeMixed1MB);
BENCHMARK(BM_ParseStringTable249Entries);

}  // namespace

BENCHMARK_MAIN();
