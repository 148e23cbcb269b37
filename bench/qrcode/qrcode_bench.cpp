// TQRCodeGrid against libqrencode (8-bit mode, level L, automatic version and
// mask) on the two texts that matter: a deposit address and a text that needs
// the largest symbol. Targets: at most half of libqrencode's time on the
// address, at most the same on version 40.
#include "QRCode.h"

#include <benchmark/benchmark.h>
#include <qrencode.h>

#include <random>
#include <string>

namespace {

const std::string kAddress = "0x52908400098527886e0f7030069857d2e4169ee7";

std::string LongText()
{
    // 2900 bytes with lower-case letters, so both sides use byte mode: version 40.
    std::mt19937 rng(40);
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 .,-";
    std::string s;
    for (int i = 0; i < 2900; ++i) s.push_back(alphabet[rng() % alphabet.size()]);
    return s;
}

const std::string kLongText = LongText();

std::u16string Widen(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

void GridEncode(benchmark::State& state, const std::string& text, int expectedRows)
{
    const std::u16string wide = Widen(text);
    for (auto _ : state) {
        TQRCodeGrid grid;
        grid.SetData(wide);
        benchmark::DoNotOptimize(grid.Rows());
        if (grid.Rows() != expectedRows) state.SkipWithError("unexpected symbol size");
    }
}

void QrencodeEncode(benchmark::State& state, const std::string& text, int expectedWidth)
{
    for (auto _ : state) {
        QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_L);
        if (code == nullptr || code->width != expectedWidth) state.SkipWithError("libqrencode failed");
        benchmark::DoNotOptimize(code);
        QRcode_free(code);
    }
}

void BM_Address_TQRCodeGrid(benchmark::State& state)
{
    GridEncode(state, kAddress, 29 + 8);
}
void BM_Address_libqrencode(benchmark::State& state)
{
    QrencodeEncode(state, kAddress, 29);
}
void BM_Version40_TQRCodeGrid(benchmark::State& state)
{
    GridEncode(state, kLongText, 177 + 8);
}
void BM_Version40_libqrencode(benchmark::State& state)
{
    QrencodeEncode(state, kLongText, 177);
}

} // namespace

BENCHMARK(BM_Address_TQRCodeGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Address_libqrencode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Version40_TQRCodeGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Version40_libqrencode)->Unit(benchmark::kMicrosecond);
