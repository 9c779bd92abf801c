// Times the decoder alone, in process, over the message region of an image:
// the hot path without process start-up. Prints the best of N runs and the
// time per byte. usage: decode_perf IMAGE TABLE [RUNS]
#include "converter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: decode_perf IMAGE TABLE [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? atoi(argv[3]) : 50;
    auto state = std::make_unique<converter_state>();
    state->table = fopen(argv[2], "rb");
    state->out = fopen("/dev/null", "wb");
    if (state->table == nullptr || state->out == nullptr) {
        perror("decode_perf");
        return 1;
    }
    load_char_table(state.get());
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        FILE *image = fopen(argv[1], "rb");
        if (image == nullptr) {
            perror(argv[1]);
            return 1;
        }
        image_open(&state->image, image);
        auto t0 = std::chrono::steady_clock::now();
        dump_messages(state.get(), MESSAGE_START, MESSAGE_END);
        output_flush(state.get());
        auto t1 = std::chrono::steady_clock::now();
        fclose(image);
        double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        best = ms < best ? ms : best;
    }
    double bytes = double(MESSAGE_END - MESSAGE_START + 1);
    printf("%-24s best of %d: %.3f ms, %.3f ns per region byte\n", argv[1], runs, best,
           best * 1e6 / bytes);
    return 0;
}
