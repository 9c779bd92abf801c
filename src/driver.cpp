// The converter's entry routine: banner, arguments, files, header name, and
// one run of the decoder over the message region.
#include "converter.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

static const char BANNER[] = "-- GBA Velquor Message Converter V1.0 --\n";
static const char CREDITS[] = "Message text extractor, writes Shift-JIS text to standard output.\n"
                              "Free software by the dadivurorezud developers; no warranty.\n";
static const char USAGE[] = " usage:DADIVUROREZUD.EXE velquor.gba\n";

void output_flush(converter_state *state) {
    if (state->out_len > 0 && !state->write_error) {
        if (fwrite(state->out_buf, 1, state->out_len, state->out) != state->out_len) {
            state->write_error = true;
            state->write_errno = errno;
        }
    }
    state->out_len = 0;
}

void output_text(converter_state *state, const char *text) {
    output_bytes(state, text, strlen(text));
}

// Opens a file for binary reading. A folder counts as a file that cannot be
// opened: some systems open it, but it has no bytes to read.
static FILE *open_readable(const char *path) {
    FILE *file = fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(file);
        return nullptr;
    }
    return file;
}

// Writes out what is left and turns a failed write into exit status 1: a
// run whose output was lost must not look like a success.
static int finish(converter_state *state, int status) {
    output_flush(state);
    if (fflush(state->out) != 0 && !state->write_error) {
        state->write_error = true;
        state->write_errno = errno;
    }
    if (state->write_error || ferror(state->out)) {
        fprintf(stderr, "dadivurorezud: cannot write standard output: %s\n",
                strerror(state->write_error ? state->write_errno : EIO));
        return 1;
    }
    return status;
}

static void report_read_error(converter_state *state, const char *path) {
    output_text(state, "file ");
    output_text(state, path);
    output_text(state, " cannot be read.\n");
}

int run_converter(int argc, char **argv) {
    // Static: the buffers are too large for some stacks. Reset, so that the
    // routine starts from zero each time it is called.
    static converter_state state;
    state = converter_state{};
    state.out = stdout;

    output_text(&state, BANNER);
    output_text(&state, CREDITS);
    if (argc < 2) {
        output_text(&state, USAGE);
        return finish(&state, 0);
    }
    const char *path = argv[1];
    FILE *image = open_readable(path);
    if (image == nullptr) {
        output_text(&state, "file ");
        output_text(&state, path);
        output_text(&state, " not found.\n");
        return finish(&state, 1);
    }
    image_open(&state.image, image);
    state.table = open_readable(TABLE_FILE_NAME);
    if (state.table == nullptr) {
        output_text(&state, "table data not found.\n");
        return finish(&state, 1);
    }
    load_char_table(&state);
    if (ferror(state.table)) {
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
    output_text(&state, "\n\nName = ");
    output_text(&state, reinterpret_cast<const char *>(state.header_name));
    output_text(&state, "\n\n");

    dump_messages(&state, MESSAGE_START, MESSAGE_END);
    if (state.image.read_error && !state.write_error) {
        // Decoded text has no line end of its own; start the message on a
        // line of its own.
        output_text(&state, "\n");
        report_read_error(&state, path);
        return finish(&state, 1);
    }
    return finish(&state, 0);
}
