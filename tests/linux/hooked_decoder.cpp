// The decoder program of the tests of the decoder process: it misbehaves on
// marker files, as a decoder fault or an exploit would. A file that starts with
// "VELLORA-TEST-" and one of these words makes it
//   CRASH         die of an illegal instruction,
//   LOOP          spin for ever,
//   OPEN PATH     create the file PATH,
//   SOCKET PATH   bind a Unix socket at PATH,
//   EXEC PATH     run a shell that creates PATH,
// so that a file at PATH afterwards shows a filter that let it through.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/decoding/decoder_sandbox.h"

namespace {

void misbehave(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
    const std::string marker = "VELLORA-TEST-";
    if (text.rfind(marker, 0) != 0) return;
    const std::string rest = text.substr(marker.size());
    const std::string word = rest.substr(0, rest.find_first_of(" \n"));
    std::string path = rest.size() > word.size() + 1 ? rest.substr(word.size() + 1) : "";
    path = path.substr(0, path.find('\n'));
    if (word == "CRASH") __builtin_trap();
    if (word == "LOOP") {
        volatile unsigned spin = 0;
        for (;;) spin = spin + 1;
    }
    if (word == "OPEN") {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) close(fd);
    }
    if (word == "SOCKET") {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd >= 0) bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), close(fd);
    }
    if (word == "EXEC") execl("/bin/sh", "sh", "-c", ": > \"$0\"", path.c_str(), static_cast<char*>(nullptr));
}

}  // namespace

int main(int argc, char** argv) { return vellora::linux_platform::runDecoder(argc, argv, misbehave); }
