// The child program of the process tests.
//
// When MORVANE_TEST_CHILD_REPORT names a file, writes to it its working
// folder and then each of its arguments (argv[0] included), one per line.
// Then, by its first argument:
//   exit <code>   exits with that code
//   sleep <ms>    sleeps that long, then exits with 0
//   anything else exits with 0
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    if (const char* report = std::getenv("MORVANE_TEST_CHILD_REPORT")) {
        std::ofstream out(report, std::ios::binary | std::ios::trunc);
        char folder[4096] = "";
        if (getcwd(folder, sizeof folder) == nullptr) folder[0] = '\0';
        out << folder << '\n';
        for (int i = 0; i < argc; ++i) out << argv[i] << '\n';
    }
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
    return 0;
}
