#include "platform/decoding/decoder_wire.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace vellora::linux_platform::wire {

bool sendMessage(int socket, const Message& message, int firstDescriptor, int secondDescriptor) {
    iovec part{const_cast<Message*>(&message), sizeof message};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    const int descriptors[2] = {firstDescriptor, secondDescriptor};
    const std::size_t count = firstDescriptor < 0 ? 0 : secondDescriptor < 0 ? 1 : 2;
    if (count > 0) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(count * sizeof(int));
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(count * sizeof(int));
        std::memcpy(CMSG_DATA(rights), descriptors, count * sizeof(int));
    }
    for (;;) {
        const ssize_t sent = sendmsg(socket, &header, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        return sent == static_cast<ssize_t>(sizeof message);
    }
}

bool receiveMessage(int socket, Message& message, int (&descriptors)[2], bool& ended) {
    descriptors[0] = descriptors[1] = -1;
    ended = false;
    iovec part{&message, sizeof message};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t got = 0;
    do got = recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    ended = got == 0;
    bool whole = got == static_cast<ssize_t>(sizeof message) && !(header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) &&
                 message.magic == magic;
    std::size_t taken = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (taken < 2) descriptors[taken] = fd;
            else close(fd), whole = false;
            ++taken;
        }
    }
    if (!whole) {
        for (int& fd : descriptors)
            if (fd >= 0) close(fd), fd = -1;
    }
    return whole;
}

}  // namespace vellora::linux_platform::wire
