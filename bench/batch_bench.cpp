// Batch pricing of CSV workbooks (what `stratlyn-cli batch` runs): rows per
// second over generated files of European rows (value and Greeks) and
// American rows (lattice, n = 50), on one thread and on every processor, and
// the peak resident memory of the process.
//
//   build/bench/batch_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "tools/csv_batch.h"

namespace {

constexpr int kEuropeanRows = 1'000'000;
constexpr int kAmericanRows = 200'000;

// A workbook of `rows` options, written once per process into the temporary
// folder and removed at exit.
class GeneratedBook {
 public:
  GeneratedBook(const char* name, int rows, const char* style) {
    path_ = (std::filesystem::temp_directory_path() /
             (std::string(name) + "-" + std::to_string(getpid()) + ".csv"))
                .string();
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    std::fputs("Underlying,Strike,Maturity,Vol,Yield,Risk Free Rate,Type,Style\n", f);
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> strike(80, 120), maturity(0.05, 2), vol(0.1, 0.6),
        yield(0, 0.04), rate(0.01, 0.08);
    for (int i = 0; i < rows; ++i) {
      std::fprintf(f, "100,%.2f,%.4f,%.4f,%.4f,%.4f,%d,%s\n", strike(rng), maturity(rng), vol(rng),
                   yield(rng), rate(rng), 1 + (i & 1), style);
    }
    std::fclose(f);
    rows_ = rows;
  }
  ~GeneratedBook() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  int Rows() const { return rows_; }

 private:
  std::string path_;
  int rows_ = 0;
};

const GeneratedBook& European() {
  static const GeneratedBook book("stratlyn-bench-european", kEuropeanRows, "European");
  return book;
}

const GeneratedBook& American() {
  static const GeneratedBook book("stratlyn-bench-american", kAmericanRows, "American");
  return book;
}

void PriceBook(benchmark::State& state, const GeneratedBook& book,
               stratlyn::BatchOptions::Stages stages = stratlyn::BatchOptions::Stages::kAll) {
  stratlyn::BatchOptions options;
  options.threads = static_cast<unsigned>(state.range(0));
  options.stages = stages;
  std::FILE* sink = std::fopen("/dev/null", "wb");
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : state) {
    std::FILE* in = std::fopen(book.Path().c_str(), "rb");
    const stratlyn::BatchReport report = stratlyn::PriceCsvStream(in, book.Path(), sink, options);
    std::fclose(in);
    if (stages != stratlyn::BatchOptions::Stages::kReadAndParse &&
        report.rows_priced != book.Rows()) {
      state.SkipWithError("not every row was priced");
    }
  }
  std::fclose(sink);
  state.SetItemsProcessed(state.iterations() * book.Rows());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  // CPU time of all threads per row: on a machine shared with other work the
  // wall-clock rate understates what the batch does on idle processors.
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime) - seconds(before.ru_utime) -
                     seconds(before.ru_stime);
  state.counters["cpu_ns_per_row"] =
      cpu * 1e9 / static_cast<double>(state.iterations() * book.Rows());
}

void BM_BatchEuropean(benchmark::State& state) { PriceBook(state, European()); }
void BM_BatchAmerican(benchmark::State& state) { PriceBook(state, American()); }
// The parts of the European run: reading and parsing alone, then with the
// pricing; formatting and writing are the rest of the whole run.
void BM_BatchEuropeanReadParse(benchmark::State& state) {
  PriceBook(state, European(), stratlyn::BatchOptions::Stages::kReadAndParse);
}
void BM_BatchEuropeanReadParsePrice(benchmark::State& state) {
  PriceBook(state, European(), stratlyn::BatchOptions::Stages::kReadParseAndPrice);
}

const int kProcessors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

BENCHMARK(BM_BatchEuropean)->Arg(1)->Arg(kProcessors)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchEuropeanReadParse)
    ->Arg(1)
    ->Arg(kProcessors)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BatchEuropeanReadParsePrice)
    ->Arg(1)
    ->Arg(kProcessors)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BatchAmerican)->Arg(1)->Arg(kProcessors)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
