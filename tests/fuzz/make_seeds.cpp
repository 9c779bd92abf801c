// Writes a fuzzer's seed corpus into a folder, one file per seed: the
// decoder's, or with "table" the table program's.
// usage: make_seeds DIR [table]
#include "fuzz_check.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2 && !(argc == 3 && std::string(argv[2]) == "table")) {
        fprintf(stderr, "usage: make_seeds DIR [table]\n");
        return 2;
    }
    int n = 0;
    for (const std::string &seed : argc == 3 ? table_fuzz_seeds() : fuzz_seeds()) {
        std::string path = std::string(argv[1]) + "/seed-" + std::to_string(n++);
        FILE *f = fopen(path.c_str(), "wb");
        if (f == nullptr || fwrite(seed.data(), 1, seed.size(), f) != seed.size() ||
            fclose(f) != 0) {
            perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
