// What the end-to-end suites share: the programs under test, given on the
// command line (see e2e_main.cpp), and a fixture that runs them in a fresh
// temporary folder and captures their output bytes and exit status.
#ifndef DADIVUROREZUD_E2E_SUPPORT_H
#define DADIVUROREZUD_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

extern std::string TOOL;       // the converter
extern std::string TABLE_TOOL; // the table program
extern std::string RUNNER;     // a shell prefix to run them with, such as Wine
extern bool CRLF;              // whether line feeds go out as CR LF
extern std::string SHIM;       // the fault-injection library, for native runs

// The expected bytes of a text with line feeds, as this platform writes it.
inline std::string lines(const std::string &text) {
    if (!CRLF) {
        return text;
    }
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

inline std::string shell_quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

struct result {
    std::string out;
    std::string err;
    int status;
};

// A fresh folder per test, removed afterwards.
class EndToEnd : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        ASSERT_FALSE(TOOL.empty()) << "no --tool=PATH given";
        ASSERT_FALSE(TABLE_TOOL.empty()) << "no --table-tool=PATH given";
        char templ[] = "/tmp/dadivurorezud-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
    }
    void TearDown() override {
        std::string cmd = "rm -rf " + shell_quoted(dir);
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    std::string path(const std::string &name) const {
        return dir + "/" + name;
    }
    void put(const std::string &name, const std::string &bytes) {
        write_file(path(name), bytes);
    }

    // Runs the tool in the folder with `args` (a shell fragment) and the
    // given redirection of standard output (default: a file we read back).
    // `before` and `after` are shell commands around it; the status is the
    // shell's.
    result run(const std::string &args, const std::string &redirect = "",
               const std::string &before = "", const std::string &after = "") {
        return run_program(TOOL, args, redirect, before, after);
    }
    // The same for the table program.
    result run_table(const std::string &args, const std::string &before = "",
                     const std::string &redirect = "") {
        return run_program(TABLE_TOOL, args, redirect, before, "");
    }

  private:
    result run_program(const std::string &program, const std::string &args,
                       const std::string &redirect, const std::string &before,
                       const std::string &after) {
        std::string out = path(".stdout"), err = path(".stderr");
        std::string cmd = "cd " + shell_quoted(dir) + " && { " + before + RUNNER + " " +
                          shell_quoted(program) + " " + args + " " +
                          (redirect.empty() ? "> " + shell_quoted(out) : redirect) + " 2> " +
                          shell_quoted(err) + after + "; }";
        std::string shell = "bash -c " + shell_quoted(cmd);
        int raw = system(shell.c_str());
        result r{read_file(out), read_file(err), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
        unlink(out.c_str());
        unlink(err.c_str());
        return r;
    }
};

inline bool native() {
    return RUNNER.empty();
}

} // namespace e2e

#endif
