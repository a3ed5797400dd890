// Throughput of the JPEG assembler and the MPEG record parser on realistic
// streams fed in 1 KiB, 16 KiB and 64 KiB chunks, each beside memcpy of the
// same bytes in the same chunks in the same run. At the end a table gives
// each scanner's throughput as a share of memcpy's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "bench_streams.h"
#include "video/JpegAssembler.h"
#include "video/MpegParser.h"

namespace {

struct PictureSink : brevane::IJpegReceiver {
    std::uint64_t bytes = 0;
    std::uint64_t pictures = 0;
    void OnJpegFrame(const std::uint8_t* data, std::uint32_t size) override {
        benchmark::DoNotOptimize(data);
        bytes += size;
        ++pictures;
    }
};

struct FrameSink : brevane::IMpegParserClient {
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;
    bool OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool) override {
        benchmark::DoNotOptimize(payload);
        bytes += size;
        ++frames;
        return true;
    }
};

template <class Feed>
void FeedStream(const bench::Bytes& stream, std::size_t chunk, Feed&& feed) {
    for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
        feed(stream.data() + pos, std::min(chunk, stream.size() - pos));
    }
}

void Memcpy(benchmark::State& state, const bench::Bytes& stream) {
    const auto chunk = static_cast<std::size_t>(state.range(0));
    bench::Bytes target(stream.size());
    for (auto _ : state) {
        std::size_t offset = 0;
        FeedStream(stream, chunk, [&](const std::uint8_t* data, std::size_t size) {
            std::memcpy(target.data() + offset, data, size);
            offset += size;
        });
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

void Assembler(benchmark::State& state, const bench::Bytes& stream) {
    const auto chunk = static_cast<std::size_t>(state.range(0));
    PictureSink sink;
    brevane::CJpegAssembler assembler(&sink);
    for (auto _ : state) {
        FeedStream(stream, chunk, [&](const std::uint8_t* data, std::size_t size) {
            assembler.Feed(data, size);
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["pictures"] = benchmark::Counter(static_cast<double>(sink.pictures),
                                                    benchmark::Counter::kIsRate);
}

void Parser(benchmark::State& state, const bench::Bytes& stream) {
    const auto chunk = static_cast<std::size_t>(state.range(0));
    FrameSink sink;
    brevane::CMpegParser parser(&sink);
    for (auto _ : state) {
        FeedStream(stream, chunk, [&](const std::uint8_t* data, std::size_t size) {
            parser.Feed(data, size);
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames"] = benchmark::Counter(static_cast<double>(sink.frames),
                                                  benchmark::Counter::kIsRate);
}

// Console output plus, at the end, each scanner's bytes per second divided
// by memcpy's for the same stream and chunk size.
class RatioReporter : public benchmark::ConsoleReporter {
   public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) {
                m_rates[run.benchmark_name()] = rate->second.value;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %12s %12s %8s\n", "scanner/chunk", "MiB/s", "memcpy MiB/s", "ratio");
        for (const auto& [name, rate] : m_rates) {
            if (name.rfind("memcpy", 0) == 0) {
                continue;
            }
            // "assembler/mjpeg704/1024" pairs with "memcpy/mjpeg704/1024".
            const std::string baseline = "memcpy" + name.substr(name.find('/'));
            auto base = m_rates.find(baseline);
            if (base == m_rates.end() || base->second <= 0) {
                continue;
            }
            std::printf("%-28s %12.0f %12.0f %8.2f\n", name.c_str(), rate / 1048576.0,
                        base->second / 1048576.0, rate / base->second);
        }
    }

   private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    static const bench::Bytes mjpeg352 = bench::MakeMjpegStream(352, 288, 60);
    static const bench::Bytes mjpeg704 = bench::MakeMjpegStream(704, 576, 30);
    static const bench::Bytes mpeg = bench::MakeMpegStream(200);
    const struct {
        const char* name;
        const bench::Bytes* stream;
        void (*scanner)(benchmark::State&, const bench::Bytes&);
        const char* scannerName;
    } families[] = {
        {"mjpeg352", &mjpeg352, Assembler, "assembler"},
        {"mjpeg704", &mjpeg704, Assembler, "assembler"},
        {"mpeg", &mpeg, Parser, "parser"},
    };
    for (const auto& family : families) {
        for (std::int64_t chunk : {1024, 16384, 65536}) {
            const std::string suffix = std::string("/") + family.name;
            benchmark::RegisterBenchmark(("memcpy" + suffix).c_str(), Memcpy, *family.stream)->Arg(chunk);
            benchmark::RegisterBenchmark((family.scannerName + suffix).c_str(), family.scanner,
                                         *family.stream)
                ->Arg(chunk);
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
