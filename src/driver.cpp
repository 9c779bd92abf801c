// The converter's entry routine: banner, arguments, files, header name, and
// one run of the decoder over the message region.
#include "converter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

static const char BANNER[] = "-- GBA Velquor Message Converter V1.0 --\n";
static const char CREDITS[] = "Message text extractor, writes Shift-JIS text to standard output.\n"
                              "Free software by the dadivurorezud developers; no warranty.\n";
static const char USAGE[] = " usage:DADIVUROREZUD.EXE velquor.gba\n";

// Opens a file for binary reading. A folder counts as a file that cannot be
// opened: some systems open it, but it has no bytes to read.
static int open_readable(const char *path) {
    int fd = open_path(path, O_RDONLY);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Writes out what is left and turns a failed write into exit status 1: a
// run whose output was lost must not look like a success.
static int finish(converter_state *state, int status) {
    if (!output_flush(&state->out)) {
        fprintf(stderr, "dadivurorezud: cannot write standard output: %s\n",
                strerror(state->out.write_errno));
        return 1;
    }
    return status;
}

static void report_read_error(converter_state *state, const char *path) {
    output_text(&state->out, "file ");
    output_text(&state->out, path_for_message(path));
    output_text(&state->out, " cannot be read.\n");
}

int run_converter(int argc, char **argv) {
    // Static: the buffers are too large for some stacks. Reset, so that the
    // routine starts from zero each time it is called.
    static converter_state state;
    state = converter_state{};
    output_open(&state.out, output_fd_sink(fileno(stdout)));

    output_text(&state.out, BANNER);
    output_text(&state.out, CREDITS);
    if (argc < 2) {
        output_text(&state.out, USAGE);
        return finish(&state, 0);
    }
    const char *path = argv[1];
    int image = open_readable(path);
    if (image < 0) {
        output_text(&state.out, "file ");
        output_text(&state.out, path_for_message(path));
        output_text(&state.out, " not found.\n");
        return finish(&state, 1);
    }
    image_open(&state.image, fd_source(image));
    int table = open_readable(TABLE_FILE_NAME);
    if (table < 0) {
        output_text(&state.out, "table data not found.\n");
        return finish(&state, 1);
    }
    state.table = fd_source(table);
    if (!load_char_table(&state)) {
        report_read_error(&state, TABLE_FILE_NAME);
        return finish(&state, 1);
    }

    image_seek(&state.image, HEADER_NAME_OFFSET);
    size_t got = image_read(&state.image, state.header_name, HEADER_NAME_LENGTH);
    state.header_name[HEADER_NAME_LENGTH] = 0;
    if (got < HEADER_NAME_LENGTH && state.image.read_error) {
        report_read_error(&state, path);
        return finish(&state, 1);
    }
    output_text(&state.out, "\n\nName = ");
    output_text(&state.out, reinterpret_cast<const char *>(state.header_name));
    output_text(&state.out, "\n\n");

    dump_messages(&state, MESSAGE_START, MESSAGE_END);
    if (state.image.read_error) {
        // Decoded text has no line end of its own; start the message on a
        // line of its own. (After a failed write nothing more goes out, and
        // the write error is what finish reports.)
        output_text(&state.out, "\n");
        report_read_error(&state, path);
        return finish(&state, 1);
    }
    return finish(&state, 0);
}
