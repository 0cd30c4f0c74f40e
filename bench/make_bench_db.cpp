// Writes the benchmark databases.
//
//     make_bench_db records DIR N    the "Customers" form of N records (version 5)
//     make_bench_db forms DIR N      N forms without records
//
// Prints the data file's path and size for the first.

#include "bench/BenchDatabase.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: make_bench_db records|forms DIR N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return Usage();
    }
    const std::string what = argv[1];
    const std::string dir = argv[2];
    const std::string count = argv[3];
    std::uint64_t n = 0;
    const auto r = std::from_chars(count.data(), count.data() + count.size(), n);
    if (r.ec != std::errc() || r.ptr != count.data() + count.size()) {
        return Usage();
    }
    try {
        std::filesystem::create_directories(dir);
        if (what == "records") {
            if (n > 0x7FFFFFFF) {
                std::fprintf(stderr, "make_bench_db: at most 2147483647 records\n");
                return 2;
            }
            const std::filesystem::path data = corvane::bench::WriteBenchDatabase(dir, n);
            std::printf("%s %llu\n", data.c_str(),
                        static_cast<unsigned long long>(std::filesystem::file_size(data)));
        } else if (what == "forms") {
            corvane::bench::WriteManyFormsDatabase(dir, static_cast<int>(n));
        } else {
            return Usage();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_db: %s\n", e.what());
        return 1;
    }
    return 0;
}
