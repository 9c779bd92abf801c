// The end-to-end suites' entry point. Options after the test framework's own:
//   --tool=PATH         the converter under test
//   --table-tool=PATH   the table program under test
//   --runner=COMMAND    a shell prefix to run them with (an emulator such as Wine)
//   --line-end=lf|crlf  what every line feed of the output becomes
//   --shim=PATH         the fault-injection library (native runs only)
// so that the same cases serve the native build and the Windows build.
#include "e2e_support.h"

#include <cstdio>

namespace e2e {
std::string TOOL;
std::string TABLE_TOOL;
std::string RUNNER;
bool CRLF = false;
std::string SHIM;
} // namespace e2e

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg.rfind("--tool=", 0) == 0) {
            e2e::TOOL = arg.substr(7);
        } else if (arg.rfind("--table-tool=", 0) == 0) {
            e2e::TABLE_TOOL = arg.substr(13);
        } else if (arg.rfind("--runner=", 0) == 0) {
            e2e::RUNNER = arg.substr(9);
        } else if (arg.rfind("--shim=", 0) == 0) {
            e2e::SHIM = arg.substr(7);
        } else if (arg == "--line-end=crlf" || arg == "--line-end=lf") {
            e2e::CRLF = arg == "--line-end=crlf";
        } else {
            fprintf(stderr, "e2e_tests: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
