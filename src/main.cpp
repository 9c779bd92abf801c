#include "converter.h"

#ifdef _WIN32
// Wide arguments, so that any path Windows can name reaches the converter.
int wmain(int argc, wchar_t **argv) {
    return run_converter(argc, utf8_arguments(argc, argv));
}
#else
int main(int argc, char **argv) {
    return run_converter(argc, argv);
}
#endif
