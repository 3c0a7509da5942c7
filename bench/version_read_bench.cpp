// Reading the version of a 1 GiB program file against a 50 KB one: the cost
// should be about the same and memory should not grow with the file size.
// The big file is the sample program with a sparse 1 GiB tail appended, so
// the reader must seek past it rather than read it.
//
//   build/bench/version_read_bench
// Counters: rss_growth_kB is the growth of the peak resident set during the
// benchmark (the 1 GiB case runs first, so any whole-file read shows there).

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "fileutil/file_version.hpp"

namespace {

namespace fs = std::filesystem;

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string MakeCopy(const char* name, std::uintmax_t size) {
  const fs::path dir = fs::temp_directory_path() / "parone_bench";
  fs::create_directories(dir);
  const fs::path target = dir / name;
  fs::copy_file(fs::path(PARONE_FIXTURE_DIR) / "sample64.exe", target,
                fs::copy_options::overwrite_existing);
  fs::resize_file(target, size);  // zero tail; sparse on common file systems
  return target.string();
}

void ReadVersion(benchmark::State& state, const char* name, std::uintmax_t size) {
  const std::string path = MakeCopy(name, size);
  parone::NativeFileSystem files;
  parone::FileVersionReader reader(files);
  const long before = PeakRssKb();
  for (auto _ : state) {
    std::string version = reader.GetFileVerString(path, parone::kTrue16).text;
    if (version != "1.01.33") state.SkipWithError("wrong version read");
    benchmark::DoNotOptimize(version);
  }
  state.counters["file_MiB"] = static_cast<double>(size) / (1024.0 * 1024.0);
  state.counters["rss_growth_kB"] = static_cast<double>(PeakRssKb() - before);
  fs::remove(path);
}

void BM_ReadVersion_1GiB(benchmark::State& state) {
  ReadVersion(state, "big.exe", 1024ull * 1024 * 1024);
}
void BM_ReadVersion_50KB(benchmark::State& state) {
  ReadVersion(state, "small.exe", 50ull * 1000);
}

BENCHMARK(BM_ReadVersion_1GiB);
BENCHMARK(BM_ReadVersion_50KB);

}  // namespace

BENCHMARK_MAIN();
