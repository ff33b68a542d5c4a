// Converting a 4095-byte text of upper-half bytes with each built-in table, in both directions,
// beside what bounds it from below (memcpy of the same text), what a general converter costs
// (glibc's iconv with the same character sets) and what the row-by-row text walk costs.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "encoding/codepage.h"
#include "tests/native/codepage_reference.h"

namespace {

enum { kTextLength = 4095 };

struct Locale {
    const char *name;
    const char *hostCodeset;  // glibc iconv names of its character sets
    const char *windowsCodeset;
};

const Locale kLocales[] = {
    {"western", "MACINTOSH", "CP1252"},
    {"cyrillic", "MAC-CYRILLIC", "CP1251"},
    {"czech", "MAC-CENTRALEUROPE", "CP1250"},
};

// Bytes 0x80 to 0xFF over and over, then the terminator.
std::vector<char> UpperHalfText()
{
    std::vector<char> text(kTextLength + 1);
    for (int i = 0; i < kTextLength; i++)
        text[i] = (char)(0x80 + i % 0x80);
    text[kTextLength] = '\0';
    return text;
}

// The upper-half bytes of fromCodeset that toCodeset can take, over and over: iconv stops at
// a character that the target set lacks.
std::string ConvertibleText(const char *fromCodeset, const char *toCodeset)
{
    std::string usable;
    iconv_t converter = iconv_open(toCodeset, fromCodeset);
    if (converter == (iconv_t)-1)
        return usable;
    for (int code = 0x80; code < 256; code++) {
        char in = (char)code, out[8];
        char *inPosition = &in, *outPosition = out;
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(converter, NULL, NULL, NULL, NULL);
        if (iconv(converter, &inPosition, &inLeft, &outPosition, &outLeft) != (size_t)-1)
            usable += (char)code;
    }
    iconv_close(converter);
    std::string text;
    while (!usable.empty() && text.size() < kTextLength)
        text += usable[text.size() % usable.size()];
    return text;
}

void BM_ConvertHostToWindows(benchmark::State &state)
{
    const Locale &locale = kLocales[state.range(0)];
    SelectLocale(locale.name);
    std::vector<char> text = UpperHalfText();
    for (auto _ : state) {
        ConvertHostToWindows(text.data());
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(locale.name);
    state.SetBytesProcessed((int64_t)state.iterations() * kTextLength);
}

void BM_ConvertWindowsToHost(benchmark::State &state)
{
    const Locale &locale = kLocales[state.range(0)];
    SelectLocale(locale.name);
    std::vector<char> text = UpperHalfText();
    for (auto _ : state) {
        ConvertWindowsToHost(text.data());
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(locale.name);
    state.SetBytesProcessed((int64_t)state.iterations() * kTextLength);
}

void BM_Memcpy(benchmark::State &state)
{
    std::vector<char> text = UpperHalfText();
    std::vector<char> copy(text.size());
    for (auto _ : state) {
        memcpy(copy.data(), text.data(), kTextLength);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kTextLength);
}

// range(0): locale; range(1): 1 for host to Windows, 0 for Windows to host.
void BM_Iconv(benchmark::State &state)
{
    const Locale &locale = kLocales[state.range(0)];
    bool toWindows = state.range(1) != 0;
    const char *from = toWindows ? locale.hostCodeset : locale.windowsCodeset;
    const char *to = toWindows ? locale.windowsCodeset : locale.hostCodeset;
    std::string text = ConvertibleText(from, to);
    iconv_t converter = iconv_open(to, from);
    if (converter == (iconv_t)-1 || text.size() != kTextLength) {
        state.SkipWithError("iconv cannot convert between these character sets");
        return;
    }
    std::vector<char> out(kTextLength * 4);
    for (auto _ : state) {
        char *inPosition = &text[0], *outPosition = out.data();
        size_t inLeft = text.size(), outLeft = out.size();
        if (iconv(converter, &inPosition, &inLeft, &outPosition, &outLeft) == (size_t)-1) {
            state.SkipWithError(strerror(errno));
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    iconv_close(converter);
    state.SetLabel(std::string(from) + " to " + to);
    state.SetBytesProcessed((int64_t)state.iterations() * kTextLength);
}

// range(0): locale; range(1): 1 for host to Windows, 0 for Windows to host.
void BM_TextWalk(benchmark::State &state)
{
    const Locale &locale = kLocales[state.range(0)];
    bool toWindows = state.range(1) != 0;
    std::string table;
    for (const LocaleEntry *entry = kLocaleEntries; entry->name[0] != '\0'; entry++)
        if (strcmp(entry->name, locale.name) == 0)
            table = entry->table;
    std::vector<char> text = UpperHalfText();
    for (auto _ : state) {
        ReferenceConvertText(table.c_str(), text.data(), toWindows);
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(locale.name);
    state.SetBytesProcessed((int64_t)state.iterations() * kTextLength);
}

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_ConvertHostToWindows)->DenseRange(0, 2);
BENCHMARK(BM_ConvertWindowsToHost)->DenseRange(0, 2);
BENCHMARK(BM_Iconv)->ArgsProduct({{0, 1, 2}, {1, 0}});
BENCHMARK(BM_TextWalk)->ArgsProduct({{0, 1, 2}, {1, 0}})->Unit(benchmark::kMillisecond);

// Prints the runs as usual, then the ratios the conversion is judged by, all from this run:
// the slowest conversion against memcpy, and the fastest iconv and text walk against the
// slowest conversion.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            double seconds = run.real_accumulated_time / (double)run.iterations;
            std::string name = run.benchmark_name();
            double *slot = name.rfind("BM_Memcpy", 0) == 0 ? &memcpySeconds_
                           : name.rfind("BM_Convert", 0) == 0 ? &conversionSeconds_
                           : name.rfind("BM_Iconv", 0) == 0 ? &iconvSeconds_
                           : name.rfind("BM_TextWalk", 0) == 0 ? &walkSeconds_ : nullptr;
            bool wantMax = slot == &conversionSeconds_;
            if (slot != nullptr && (*slot == 0 || (wantMax ? seconds > *slot : seconds < *slot)))
                *slot = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (memcpySeconds_ == 0 || conversionSeconds_ == 0)
            return;
        printf("\nslowest conversion / memcpy:        %8.1fx (target: at most 16x)\n",
               conversionSeconds_ / memcpySeconds_);
        if (iconvSeconds_ != 0)
            printf("fastest iconv / slowest conversion: %8.1fx (target: at least 5x)\n",
                   iconvSeconds_ / conversionSeconds_);
        if (walkSeconds_ != 0)
            printf("fastest text walk / slowest conversion: %.0fx (target: at least 10000x)\n",
                   walkSeconds_ / conversionSeconds_);
    }

private:
    double memcpySeconds_ = 0, conversionSeconds_ = 0, iconvSeconds_ = 0, walkSeconds_ = 0;
};

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
