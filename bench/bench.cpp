// Times the converter against `cat` on the same image: the two commands run
// in turn, round after round, each with standard output on /dev/null, so
// that both see the same machine state. Prints the median wall time of each,
// their ratio, and the peak resident memory of each as the kernel accounts
// it (wait4's ru_maxrss).
//
// usage: bench TOOL DIR IMAGE... [-r ROUNDS]   (runs in DIR; default 31 rounds)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct sample {
    double ms;
    long max_rss_kib;
};

sample run_once(const std::vector<std::string> &argv_strings, const std::string &dir) {
    std::vector<char *> argv;
    for (const auto &s : argv_strings) {
        argv.push_back(const_cast<char *>(s.c_str()));
    }
    argv.push_back(nullptr);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        perror("bench: run");
        exit(1);
    }
    auto t1 = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench: %s failed\n", argv_strings[0].c_str());
        exit(1);
    }
    return {std::chrono::duration<double, std::milli>(t1 - t0).count(), usage.ru_maxrss};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv) {
    int rounds = 31;
    std::vector<std::string> images;
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "-r") == 0 && i + 1 < argc) {
            rounds = std::max(15, atoi(argv[++i]));
        } else {
            images.push_back(argv[i]);
        }
    }
    if (argc < 4 || images.empty()) {
        fprintf(stderr, "usage: bench TOOL DIR IMAGE... [-r ROUNDS]\n");
        return 2;
    }
    const std::string tool = argv[1], dir = argv[2];
    printf("%-12s %6s %12s %12s %7s %14s %14s\n", "image", "rounds", "tool ms", "cat ms", "ratio",
           "tool peak KiB", "cat peak KiB");
    for (const std::string &image : images) {
        const std::vector<std::string> tool_cmd = {tool, image}, cat_cmd = {"cat", image};
        for (int i = 0; i < 3; i++) { // warm-up: page cache, CPU clocks
            run_once(tool_cmd, dir);
            run_once(cat_cmd, dir);
        }
        std::vector<double> tool_ms, cat_ms;
        long tool_rss = 0, cat_rss = 0;
        for (int i = 0; i < rounds; i++) {
            sample t = run_once(tool_cmd, dir);
            sample c = run_once(cat_cmd, dir);
            tool_ms.push_back(t.ms);
            cat_ms.push_back(c.ms);
            tool_rss = std::max(tool_rss, t.max_rss_kib);
            cat_rss = std::max(cat_rss, c.max_rss_kib);
        }
        double tm = median(tool_ms), cm = median(cat_ms);
        printf("%-12s %6d %12.3f %12.3f %7.2f %14ld %14ld\n", image.c_str(), rounds, tm, cm,
               tm / cm, tool_rss, cat_rss);
    }
    return 0;
}
