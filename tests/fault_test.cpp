// Fault injection, end to end: each I/O call of a full run of either
// program fails in turn, for every k from the first call to the last, and
// what comes out is checked. A run may end with status 0 only when its
// output is complete and byte-identical to an unfailed run; otherwise it
// ends with status 1 and a message that names what failed. A call that is
// interrupted (EINTR), would block (EAGAIN) or is cut short must not change
// the output at all.
#include "e2e_support.h"
#include "stream_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace e2e;

namespace {

const std::string PRELUDE = "-- GBA Velquor Message Converter V1.0 --\n"
                            "Message text extractor, writes Shift-JIS text to standard output.\n"
                            "Free software by the dadivurorezud developers; no warranty.\n";

// Errors 0 and -1 are no errors but a short count and a write that takes
// nothing; the programs report the second as EIO.
constexpr int SHORT = 0, TAKES_NOTHING = -1;

// An error the programs must ride out, for this kind of call.
bool transient(const std::string &call, int error) {
    if (call == "read" || call == "write") {
        return error == EINTR || error == EAGAIN || error == SHORT;
    }
    return error == EINTR && call != "lseek";
}

class Faults : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        if (!native() || SHIM.empty()) {
            GTEST_SKIP() << "fault injection needs a native run and --shim=PATH";
        }
    }

    // The environment that loads the shim and fails call number `at` of
    // kind `call` with `error` (at 0: none), writing the counts to a file.
    std::string faults(const std::string &call, long at, int error) const {
        return "LD_PRELOAD=" + shell_quoted(SHIM) + " FAULT_CALL=" + call +
               " FAULT_AT=" + std::to_string(at) + " FAULT_ERRNO=" + std::to_string(error) +
               " FAULT_COUNTS=" + shell_quoted(path(".counts")) +
               " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 ";
    }

    std::map<std::string, long> counts() const {
        std::map<std::string, long> n;
        std::istringstream in(read_file(path(".counts")));
        std::string call;
        long count;
        while (in >> call >> count) {
            n[call] = count;
        }
        return n;
    }

    std::set<std::string> files() const {
        std::set<std::string> names;
        DIR *d = opendir(dir.c_str());
        while (struct dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && name[0] != '.') {
                names.insert(name);
            }
        }
        closedir(d);
        return names;
    }
};

bool starts_with(const std::string &s, const std::string &head) {
    return s.compare(0, head.size(), head) == 0;
}

std::string reason(int error) {
    return strerror(error == TAKES_NOTHING ? EIO : error);
}

std::string describe(const std::string &call, long k, int error) {
    return call + " call " + std::to_string(k) + " failing with " +
           (error == SHORT           ? std::string("a short count")
            : error == TAKES_NOTHING ? std::string("nothing taken")
                                     : strerror(error));
}

struct fault_plan {
    const char *call;
    std::vector<int> errors;
};

TEST_F(Faults, ConverterUnderEveryFailingCall) {
    std::mt19937 rng(90);
    // The region's first MiB: some twenty reads and writes, each of which
    // fails in turn.
    std::string image = testing_support::random_bytes(rng, MESSAGE_START + 1024 * 1024);
    const std::string table = testing_support::distinct_table();
    put("a.gba", image);
    put("velquor.tbl", table);
    result clean = run("a.gba", "", faults("none", 0, 0));
    ASSERT_EQ(clean.status, 0) << clean.err;
    const std::string &full = clean.out;
    const std::map<std::string, long> n = counts();
    ASSERT_EQ(n.at("open"), 2);
    ASSERT_GT(n.at("read"), 15);
    ASSERT_GT(n.at("write"), 15);
    ASSERT_GE(n.at("lseek"), 1);

    const fault_plan plans[] = {
        {"open", {EACCES, EINTR}},
        {"fstat", {EIO}},
        {"read", {EIO, EINTR, EAGAIN, SHORT}},
        {"lseek", {EIO, ESPIPE}},
        {"write", {ENOSPC, EINTR, EAGAIN, SHORT, TAKES_NOTHING}},
    };
    for (const fault_plan &plan : plans) {
        for (long k = 1; k <= n.at(plan.call); k++) {
            for (int error : plan.errors) {
                const std::string what = describe(plan.call, k, error);
                result r = run("a.gba", "", faults(plan.call, k, error));
                if (transient(plan.call, error) || r.status == 0) {
                    EXPECT_EQ(r.status, 0) << what << ": " << r.err;
                    EXPECT_TRUE(r.out == full) << what << ": output differs";
                    EXPECT_EQ(r.err, "") << what;
                    continue;
                }
                EXPECT_EQ(r.status, 1) << what;
                if (std::string(plan.call) == "write") {
                    EXPECT_EQ(r.err, "dadivurorezud: cannot write standard output: " +
                                         reason(error) + "\n")
                        << what;
                    EXPECT_TRUE(starts_with(full, r.out)) << what << ": more than was written";
                } else if (std::string(plan.call) == "open") {
                    EXPECT_TRUE(r.out == PRELUDE + "file a.gba not found.\n" ||
                                r.out == PRELUDE + "table data not found.\n")
                        << what << ": " << r.out;
                } else {
                    // A read error: what was decoded, then a line naming the file.
                    const std::string image_message = "file a.gba cannot be read.\n";
                    const std::string table_message = "file velquor.tbl cannot be read.\n";
                    const std::string &message =
                        r.out.size() >= image_message.size() &&
                                r.out.compare(r.out.size() - image_message.size(),
                                              image_message.size(), image_message) == 0
                            ? image_message
                            : table_message;
                    ASSERT_GE(r.out.size(), message.size()) << what;
                    EXPECT_EQ(r.out.substr(r.out.size() - message.size()), message) << what;
                    // A message after decoded text starts a line of its own.
                    std::string before = r.out.substr(0, r.out.size() - message.size());
                    if (!starts_with(full, before) && !before.empty() && before.back() == '\n') {
                        before.pop_back();
                    }
                    EXPECT_TRUE(starts_with(full, before))
                        << what << ": the text before the message is not what was decoded";
                }
            }
        }
    }
}

const std::string TABLE_TEXT = "# sample\n41=\xE3\x81\x82\n42=B\nFD=X\n";

TEST_F(Faults, TableBuildUnderEveryFailingCall) {
    put("t.txt", TABLE_TEXT);
    result clean = run_table("build t.txt", faults("none", 0, 0));
    ASSERT_EQ(clean.status, 0) << clean.err;
    const std::string built = read_file(path("velquor.tbl"));
    const std::string warnings = clean.err;
    const std::map<std::string, long> n = counts();
    const std::set<std::string> expected_files = {"t.txt", "velquor.tbl"};

    const fault_plan plans[] = {
        {"open", {EACCES, EINTR}},
        {"fstat", {EIO}},
        {"read", {EIO, EINTR, EAGAIN, SHORT}},
        {"write", {ENOSPC, EINTR, EAGAIN, SHORT, TAKES_NOTHING}},
        {"fsync", {EIO, EINTR}},
        {"close", {EIO, EINTR}},
        {"rename", {EXDEV, EINTR}},
        {"iconv_open", {EINVAL}},
    };
    for (const fault_plan &plan : plans) {
        ASSERT_GT(n.at(plan.call), 0) << plan.call;
        for (long k = 1; k <= n.at(plan.call); k++) {
            for (int error : plan.errors) {
                const std::string what = describe(plan.call, k, error);
                put("velquor.tbl", "the old table");
                result r = run_table("build t.txt", faults(plan.call, k, error));
                EXPECT_EQ(files(), expected_files) << what << ": a temporary file is left";
                const std::string now = read_file(path("velquor.tbl"));
                if (transient(plan.call, error) || r.status == 0) {
                    EXPECT_EQ(r.status, 0) << what << ": " << r.err;
                    EXPECT_TRUE(now == built) << what << ": the table differs";
                    EXPECT_EQ(r.err, warnings) << what;
                    continue;
                }
                EXPECT_EQ(r.status, 1) << what;
                EXPECT_EQ(now, "the old table") << what << ": the old table was touched";
                const std::string why =
                    plan.call == std::string("iconv_open") ? "no converter" : reason(error);
                EXPECT_NE(r.err.find(why), std::string::npos) << what << ": " << r.err;
                EXPECT_TRUE(starts_with(r.err, "dadivurorezud-table: ")) << what << ": " << r.err;
            }
        }
    }
}

TEST_F(Faults, TableShowUnderEveryFailingCall) {
    put("t.txt", TABLE_TEXT);
    ASSERT_EQ(run_table("build t.txt").status, 0);
    result clean = run_table("show velquor.tbl", faults("none", 0, 0));
    ASSERT_EQ(clean.status, 0) << clean.err;
    const std::map<std::string, long> n = counts();

    const fault_plan plans[] = {
        {"open", {EACCES, EINTR}},
        {"fstat", {EIO}},
        {"read", {EIO, EINTR, EAGAIN, SHORT}},
        {"write", {ENOSPC, EINTR, EAGAIN, SHORT, TAKES_NOTHING}},
        {"close", {EIO}},
        {"iconv_open", {EINVAL}},
    };
    for (const fault_plan &plan : plans) {
        ASSERT_GT(n.at(plan.call), 0) << plan.call;
        for (long k = 1; k <= n.at(plan.call); k++) {
            for (int error : plan.errors) {
                const std::string what = describe(plan.call, k, error);
                result r = run_table("show velquor.tbl", faults(plan.call, k, error));
                if (transient(plan.call, error) || r.status == 0) {
                    EXPECT_EQ(r.status, 0) << what << ": " << r.err;
                    EXPECT_TRUE(r.out == clean.out) << what << ": output differs";
                    EXPECT_EQ(r.err, clean.err) << what;
                    continue;
                }
                EXPECT_EQ(r.status, 1) << what;
                const std::string why =
                    plan.call == std::string("iconv_open") ? "no converter" : reason(error);
                EXPECT_NE(r.err.find(why), std::string::npos) << what << ": " << r.err;
                EXPECT_TRUE(starts_with(clean.out, r.out)) << what;
            }
        }
    }
}

// A read or write that would block waits with poll; when that wait itself
// fails, the read or write fails with the wait's error, and when the wait is
// interrupted, it is made again.
TEST_F(Faults, WaitingForTheDescriptorThatFails) {
    std::mt19937 rng(91);
    put("a.gba", testing_support::random_bytes(rng, MESSAGE_START + 100000));
    put("velquor.tbl", testing_support::distinct_table());
    const std::string full = run("a.gba").out;
    struct {
        const char *calls, *at, *errors;
        int status;
        const char *err;
    } cases[] = {
        {"write,poll", "1,1", "11,4", 0, ""},
        {"write,poll", "1,1", "11,12", 1,
         "dadivurorezud: cannot write standard output: Cannot allocate memory\n"},
        {"read,poll", "2,1", "11,4", 0, ""},
        {"read,poll", "2,1", "11,12", 1, ""},
    };
    for (const auto &c : cases) {
        const std::string env = "LD_PRELOAD=" + shell_quoted(SHIM) + " FAULT_CALL=" + c.calls +
                                " FAULT_AT=" + c.at + " FAULT_ERRNO=" + c.errors +
                                " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}"
                                "verify_asan_link_order=0 ";
        result r = run("a.gba", "", env);
        const std::string what = std::string(c.calls) + " " + c.at + " " + c.errors;
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.err, c.err) << what;
        if (c.status == 0) {
            EXPECT_TRUE(r.out == full) << what;
        } else if (std::string(c.calls) == "read,poll") {
            EXPECT_NE(r.out.find("file a.gba cannot be read.\n"), std::string::npos) << what;
        }
    }
}

} // namespace
