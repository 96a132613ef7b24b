// Lullpane.exe, the wait box: tells the user that the handheld is being
// written and waits until the adapter terminates it once the bulk write of
// a first synchronisation is over.  "/M" on the command line means the
// records are e-mails.
//
// When LULLPANE_STATUS names a file, the program also writes one line there
// as soon as it runs ("waiting" and its arguments), so that whoever started
// it can see that it came up and with what.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool HasMailSwitch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "/M") == 0 || std::strcmp(argv[i], "/m") == 0) return true;
    return false;
}

void WriteStatus(int argc, char** argv) {
    const char* path = std::getenv("LULLPANE_STATUS");
    if (path == nullptr || *path == '\0') return;
    std::string line = "waiting";
    for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
    line += "\n";
    if (std::FILE* file = std::fopen(path, "w")) {
        std::fputs(line.c_str(), file);
        std::fclose(file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool mail = HasMailSwitch(argc, argv);
    std::printf("Writing %s to the Quenda. Please wait and do not disconnect the handheld...\n",
                mail ? "e-mail" : "records");
    std::fflush(stdout);
    WriteStatus(argc, argv);
    // Nothing ends the wait but the adapter terminating this process.
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
