// The show's side of the decoder's socket: a broken or hostile peer never leaves
// a descriptor open in the show, and only whole messages count.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/decoding/decoder_wire.h"

namespace vellora::linux_platform {
namespace {

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Sends raw bytes with `count` descriptors (each a fresh pipe end).
void sendRaw(int socket, const void* data, std::size_t size, int count) {
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        close(ends[1]);
        fds.push_back(ends[0]);
    }
    iovec part{const_cast<void*>(data), size};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    if (count > 0) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
        std::memcpy(CMSG_DATA(rights), fds.data(), fds.size() * sizeof(int));
    }
    ASSERT_EQ(sendmsg(socket, &header, 0), static_cast<ssize_t>(size));
    for (int fd : fds) close(fd);
}

TEST(DecoderWire, OnlyWholeMessagesCountAndNoDescriptorIsLeft) {
    wire::Message good;
    good.kind = wire::Kind::decoded;
    good.width = 640;
    wire::Message wrongMagic = good;
    wrongMagic.magic ^= 1;
    struct Case {
        std::string name;
        const void* data;
        std::size_t size;
        int descriptors;
        bool whole;
    };
    const std::vector<Case> cases = {
        {"a message", &good, sizeof good, 0, true},
        {"a message with one descriptor", &good, sizeof good, 1, true},
        {"a message with two descriptors", &good, sizeof good, 2, true},
        {"three descriptors", &good, sizeof good, 3, false},
        {"half a message with two descriptors", &good, sizeof good / 2, 2, false},
        {"a wrong magic with two descriptors", &wrongMagic, sizeof wrongMagic, 2, false},
    };
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        const std::size_t before = openDescriptors();
        sendRaw(ends[1], c.data, c.size, c.descriptors);
        wire::Message got;
        int fds[2];
        bool ended = true;
        EXPECT_EQ(wire::receiveMessage(ends[0], got, fds, ended), c.whole) << c.name;
        EXPECT_FALSE(ended) << c.name;
        const int expected = c.whole ? c.descriptors : 0;
        EXPECT_EQ((fds[0] >= 0) + (fds[1] >= 0), expected) << c.name;
        if (c.whole) {
            EXPECT_EQ(got.width, 640) << c.name;
        }
        for (int fd : fds)
            if (fd >= 0) close(fd);
        EXPECT_EQ(openDescriptors(), before) << c.name << ": descriptors left open";
        close(ends[1]);
        EXPECT_FALSE(wire::receiveMessage(ends[0], got, fds, ended)) << c.name;
        EXPECT_TRUE(ended) << c.name << ": the end of the stream";
        close(ends[0]);
    }
}

}  // namespace
}  // namespace vellora::linux_platform
