// Times the decoder alone, in process, over the message region of an image:
// the hot path without process start-up. The image is read from its file as
// the tool reads it and the output goes to /dev/null. Prints the best of N
// runs and the time per byte. usage: decode_perf IMAGE TABLE [RUNS]
#include "converter.h"
#include "decoder_rig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: decode_perf IMAGE TABLE [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? atoi(argv[3]) : 50;
    std::ifstream table_file(argv[2], std::ios::binary);
    std::ostringstream table;
    table << table_file.rdbuf();
    int null = open("/dev/null", O_WRONLY);
    if (!table_file || null < 0) {
        perror("decode_perf");
        return 1;
    }
    const output_sink sink = output_fd_sink(null);
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        int image = open(argv[1], O_RDONLY);
        if (image < 0) {
            perror(argv[1]);
            return 1;
        }
        rig::decoder_rig r(table.str(), 0, fd_source(image), &sink);
        image_seek(&r.state->image, HEADER_NAME_OFFSET);
        image_read(&r.state->image, r.state->header_name, HEADER_NAME_LENGTH);
        auto t0 = std::chrono::steady_clock::now();
        dump_messages(r.state.get(), MESSAGE_START, MESSAGE_END);
        output_flush(&r.state->out);
        auto t1 = std::chrono::steady_clock::now();
        close(image);
        double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        best = ms < best ? ms : best;
    }
    double bytes = double(MESSAGE_END - MESSAGE_START + 1);
    printf("%-24s best of %d: %.3f ms, %.3f ns per region byte\n", argv[1], runs, best,
           best * 1e6 / bytes);
    return 0;
}
