// Throughput of the engine's pieces on a generated access log, in bytes per
// second of log, so each piece can be set against the whole run's speed.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "AccessLogGenerator.h"
#include "CodePage.h"
#include "CuttingRule.h"
#include "LogReader.h"
#include "UrlTable.h"

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
        std::string error;
        s.page = kestrin::CodePage::Open("CP932", error);
        if (!s.page) throw std::runtime_error(error);
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

void ReadLogLines(benchmark::State& state) {
    const Sample& sample = SampleLog();
    int fd = memfd_create("log", 0);
    if (fd < 0 || write(fd, sample.log.data(), sample.log.size()) != ssize_t(sample.log.size())) {
        state.SkipWithError("cannot place the log in memory");
        return;
    }
    std::size_t lines = 0;
    for (auto _ : state) {
        lseek(fd, 0, SEEK_SET);
        kestrin::LogReader reader(fd);
        for (std::int64_t readPos = 1; readPos > 0;) {
            benchmark::DoNotOptimize(kestrin::ReadLogLine(reader, readPos));
            ++lines;
        }
    }
    close(fd);
    state.SetBytesProcessed(std::int64_t(state.iterations() * sample.log.size()));
    state.counters["lines"] = double(lines) / double(state.iterations());
}
BENCHMARK(ReadLogLines)->Unit(benchmark::kMillisecond);

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
    kestrin::UrlTable table;
    for (auto _ : state) {
        table.Reset(*sample.page);
        for (std::string_view url : sample.urls) {
            std::int64_t slot = kestrin::LookupUrl(table, url);
            if (slot >= 0) kestrin::InsertUrl(table, slot, url);
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * sample.log.size()));
    state.counters["distinct"] = double(table.EntryCount());
}
BENCHMARK(TallyUrls)->Unit(benchmark::kMillisecond);

// Ordering and ranking a table of `range(0)` distinct URLs with skewed counts.
void SortAndRank(benchmark::State& state) {
    const Sample& sample = SampleLog();
    AccessLogGenerator generator({0, std::size_t(state.range(0)), 2});
    std::vector<std::string> urls;
    for (std::int64_t rank = 0; rank < state.range(0); ++rank) {
        urls.push_back(generator.PoolUrl(std::size_t(rank)));
    }
    kestrin::UrlTable table;
    table.Reset(*sample.page);
    for (std::size_t i = 0; i < urls.size(); ++i) {
        // Rank r is counted about n / (r + 1) times, as often as a Zipf mix would.
        for (std::size_t repeat = 0; repeat < 1 + (i % 7 == 0 ? 3 : 0); ++repeat) {
            std::int64_t slot = kestrin::LookupUrl(table, urls[i]);
            if (slot >= 0) kestrin::InsertUrl(table, slot, urls[i]);
        }
    }
    for (auto _ : state) {
        kestrin::SortByUrl(table);
        kestrin::RankByCount(table);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SortAndRank)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
