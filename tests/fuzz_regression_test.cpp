// The fuzzer's check, run on its seeds and on every input it ever found a
// fault with (tests/fuzz/cases), so that each finding stays fixed.
#include "fuzz/fuzz_check.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>

TEST(FuzzRegression, SeedsAgreeWithTheModel) {
    for (const std::string &seed : fuzz_seeds()) {
        EXPECT_EQ(fuzz_check(reinterpret_cast<const uint8_t *>(seed.data()), seed.size()), "");
    }
}

TEST(FuzzRegression, EarlierFindingsAgreeWithTheModel) {
    DIR *dir = opendir(FUZZ_CASES_DIR);
    ASSERT_NE(dir, nullptr) << FUZZ_CASES_DIR;
    int cases = 0;
    while (struct dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.rfind("crash-", 0) != 0 && name.rfind("case-", 0) != 0) {
            continue;
        }
        std::ifstream in(std::string(FUZZ_CASES_DIR) + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        std::string input = s.str();
        EXPECT_EQ(fuzz_check(reinterpret_cast<const uint8_t *>(input.data()), input.size()), "")
            << name;
        cases++;
    }
    closedir(dir);
    EXPECT_GT(cases, 0) << "no cases in " << FUZZ_CASES_DIR;
}
