// The show's side of the decoder process: on its socket a broken or hostile peer
// never leaves a descriptor open in the show, and only whole messages count; a
// picture's budget follows the size its file claims, wherever the file keeps it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/decoding/decoder_process.h"
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

std::string littleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    return out;
}

// Read from the file the decoder gets, whose offset must stay at its start.
TEST(DecodeBudget, FollowsTheSizeTheFileClaimsWhereverItKeepsIt) {
    const std::string pixels(3u << 20, '\x5A');
    const std::string tiffAtEnd = std::string("II*\0", 4) + littleEndian(8 + pixels.size(), 4) + pixels +
                                  littleEndian(2, 2) + littleEndian(256, 2) + littleEndian(4, 2) + littleEndian(1, 4) +
                                  littleEndian(4000, 4) + littleEndian(257, 2) + littleEndian(4, 2) +
                                  littleEndian(1, 4) + littleEndian(3000, 4) + littleEndian(0, 4);
    std::string jpegAfterSegments = "\xFF\xD8";
    for (int i = 0; i < 6; ++i) jpegAfterSegments += std::string("\xFF\xE2\xFF\xFF", 4) + std::string(65533, '\x11');
    jpegAfterSegments += std::string("\xFF\xC0\0\x11\x08\x0F\xA0\x17\x70", 9) + std::string(12, '\x01');
    const struct {
        const char* label;
        std::string bytes;
        std::uint64_t pixels;
    } cases[] = {
        {"TIFF with its directory after 3 MB of pixels", tiffAtEnd, 4000 * 3000},
        {"JPEG frame after 384 KB of profile segments", jpegAfterSegments, 6000 * 4000},
        {"a file that claims no size", std::string(1000, 'x'), 0},
    };
    for (const auto& c : cases) {
        FILE* file = std::tmpfile();
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fwrite(c.bytes.data(), 1, c.bytes.size(), file), c.bytes.size());
        ASSERT_EQ(std::fflush(file), 0);
        const int fd = fileno(file);
        ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
        const DecodeBudget budget = budgetForPictureFile(fd, c.bytes.size()), wanted = decodeBudgetFor(c.pixels);
        EXPECT_EQ(budget.cpuSeconds, wanted.cpuSeconds) << c.label;
        EXPECT_EQ(budget.wallMs, wanted.wallMs) << c.label;
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0) << c.label;
        std::fclose(file);
    }
}

}  // namespace
}  // namespace vellora::linux_platform
