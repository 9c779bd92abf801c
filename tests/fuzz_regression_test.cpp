// The fuzzer's check, run on its seeds and on every input it ever found a
// fault with (tests/fuzz/cases), so that each finding stays fixed.
#include "fuzz/fuzz_check.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

TEST(FuzzRegression, SeedsAgreeWithTheModel) {
    for (const std::string &seed : fuzz_seeds()) {
        EXPECT_EQ(fuzz_check(reinterpret_cast<const uint8_t *>(seed.data()), seed.size()), "");
    }
}

// Every input kept in a folder of cases, read whole.
std::vector<std::pair<std::string, std::string>> cases_in(const std::string &folder) {
    std::vector<std::pair<std::string, std::string>> cases;
    DIR *dir = opendir(folder.c_str());
    EXPECT_NE(dir, nullptr) << folder;
    while (dir != nullptr) {
        struct dirent *e = readdir(dir);
        if (e == nullptr) {
            closedir(dir);
            break;
        }
        std::string name = e->d_name;
        if (name.rfind("crash-", 0) != 0 && name.rfind("case-", 0) != 0) {
            continue;
        }
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        cases.emplace_back(name, s.str());
    }
    EXPECT_FALSE(cases.empty()) << "no cases in " << folder;
    return cases;
}

TEST(FuzzRegression, EarlierFindingsAgreeWithTheModel) {
    for (const auto &c : cases_in(FUZZ_CASES_DIR)) {
        EXPECT_EQ(fuzz_check(reinterpret_cast<const uint8_t *>(c.second.data()), c.second.size()),
                  "")
            << c.first;
    }
}

TEST(FuzzRegression, TableSeedsAndFindingsHold) {
    for (const std::string &seed : table_fuzz_seeds()) {
        EXPECT_EQ(table_fuzz_check(reinterpret_cast<const uint8_t *>(seed.data()), seed.size()),
                  "");
    }
    for (const auto &c : cases_in(TABLE_FUZZ_CASES_DIR)) {
        EXPECT_EQ(
            table_fuzz_check(reinterpret_cast<const uint8_t *>(c.second.data()), c.second.size()),
            "")
            << c.first;
    }
}
