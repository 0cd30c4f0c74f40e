// Writes the seed corpus of every fuzz target: OUTDIR/<target>/<seed>. Usage: corvane-fuzz-seeds OUTDIR

#include "fuzz/corpus/Seeds.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-fuzz-seeds OUTDIR\n");
        return 2;
    }
    try {
        const std::filesystem::path out = argv[1];
        for (const auto& set : corvane::fuzz::AllSeedSets()) {
            const std::filesystem::path dir = out / set.Target;
            std::filesystem::create_directories(dir);
            for (const auto& seed : set.Build()) {
                corvane::testwriter::WriteFile(dir / seed.Name, seed.Data);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
