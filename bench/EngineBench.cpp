// Throughput of the engine's pieces on a generated access log, in bytes per
// second of log, so each piece can be set against the whole run's speed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "AccessLogGenerator.h"
#include "input/LineCutter.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"

namespace {

using kestrin::bench::AccessLogGenerator;

struct Sample {
    std::string log;
    std::vector<std::string_view> lines;
    std::vector<std::string_view> urls;
    std::unique_ptr<kestrin::CodePage> page;
};

const Sample& SampleLog() {
    static const Sample sample = [] {
        Sample s;
        // One distinct referrer per 5 KiB of log, as in run.sh's 1 GB log.
        AccessLogGenerator generator({64 << 20, 12500, 1});
        while (generator.NextLine(s.log)) {
        }
        kestrin::Result<std::unique_ptr<kestrin::CodePage>> page = kestrin::CodePage::Open("CP932");
        if (!page) throw std::runtime_error(page.Failure().Reason());
        s.page = std::move(*page);
        kestrin::CuttingRule rule(*s.page, u'"');
        for (std::size_t at = 0; at < s.log.size();) {
            std::size_t end = s.log.find('\n', at);
            s.lines.push_back(std::string_view(s.log).substr(at, end - at));
            if (auto url = kestrin::ExtractUrl(s.lines.back(), rule)) s.urls.push_back(*url);
            at = end + 1;
        }
        return s;
    }();
    return sample;
}

// The log from memory, so that the cutter's own work is measured.
class MemorySource : public kestrin::ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    kestrin::Result<std::size_t> Read(char* into, std::size_t size) override {
        const std::size_t part = std::min(size, bytes_.size() - at_);
        std::memcpy(into, bytes_.data() + at_, part);
        at_ += part;
        return part;
    }
    std::int64_t Consumed() const override { return std::int64_t(at_); }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

void CutLogLines(benchmark::State& state) {
    const Sample& sample = SampleLog();
    kestrin::CuttingRule rule(*sample.page, u'"');
    std::size_t urls = 0;
    for (auto _ : state) {
        MemorySource source(sample.log);
        kestrin::LineCutter cutter(source, rule);
        for (bool more = true; more;) {
            more = cutter.Cut();
            benchmark::DoNotOptimize(cutter.Urls().data());
            urls += cutter.Urls().size();
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * sample.log.size()));
    state.counters["urls"] = double(urls) / double(state.iterations());
}
BENCHMARK(CutLogLines)->Unit(benchmark::kMillisecond);

void ExtractUrls(benchmark::State& state) {
    const Sample& sample = SampleLog();
    kestrin::CuttingRule rule(*sample.page, u'"');
    for (auto _ : state) {
        for (std::string_view line : sample.lines) {
            benchmark::DoNotOptimize(kestrin::ExtractUrl(line, rule));
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * sample.log.size()));
}
BENCHMARK(ExtractUrls)->Unit(benchmark::kMillisecond);

void TallyUrls(benchmark::State& state) {
    const Sample& sample = SampleLog();
    std::size_t distinct = 0;
    for (auto _ : state) {
        kestrin::UrlTally tally(*sample.page);
        for (std::string_view url : sample.urls) tally.Count(url);
        distinct = (*std::move(tally).SortByUrl()).EntryCount();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * sample.log.size()));
    state.counters["distinct"] = double(distinct);
}
BENCHMARK(TallyUrls)->Unit(benchmark::kMillisecond);

// Ordering and ranking a table of `range(0)` distinct URLs with skewed counts, the
// sort on `range(1)` threads.
void SortAndRank(benchmark::State& state) {
    const Sample& sample = SampleLog();
    AccessLogGenerator generator({0, std::size_t(state.range(0)), 2});
    std::vector<std::string> urls;
    for (std::int64_t rank = 0; rank < state.range(0); ++rank) {
        urls.push_back(generator.PoolUrl(std::size_t(rank)));
    }
    for (auto _ : state) {
        state.PauseTiming();
        kestrin::UrlTally tally(*sample.page);
        for (std::size_t i = 0; i < urls.size(); ++i) {
            // Some URLs counted more often than others, so that ranking has work to do.
            for (std::size_t repeat = 0; repeat < 1 + (i % 7 == 0 ? 3 : 0); ++repeat)
                tally.Count(urls[i]);
        }
        state.ResumeTiming();
        kestrin::UrlTable table =
            std::move(*std::move(tally).SortByUrl(nullptr, unsigned(state.range(1))));
        (void)table.RankByCount();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SortAndRank)
    ->Args({200000, 1})
    ->Args({200000, 2})
    ->Args({2000000, 1})
    ->Args({2000000, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
