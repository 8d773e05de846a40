// The messages between the show and its decoder process, over a Unix
// sequenced-packet socket; each message is one packet of one Message.
//
// Contract:
// - The decoder starts by sending hello: `status` says whether it locked itself
//   down (lockedDown) or could not (noSeccomp), in which case it ends after that.
// - The show sends decode with the picture file's descriptor (open read-only,
//   checked to be a regular file of `bytes` bytes) and, when it has one, the
//   pixel buffer's descriptor (`bufferBytes` long). The decoder answers failed,
//   decoded, or needBuffer with `bytes`, the pixel bytes it needs; the show then
//   sends buffer with a memfd of at least that many bytes and the decoder
//   answers failed or decoded. A buffer's id tells the decoder whether it
//   already has it mapped.
// - Every decode carries a request number, new for each; buffer and every answer
//   (needBuffer, decoded, failed) carry the number of the decode they belong to.
//   The show takes an answer with another number, or one it did not ask for, as
//   a broken decoder.
// - decoded means: `width` × `height` pixels, 0xRRGGBB row-major, top row first,
//   are at the start of the buffer sent with decode or after needBuffer; width
//   and height are the natural size. A decode without a buffer means the show
//   still uses every buffer it sent before. The show trusts none of it beyond
//   the size of the buffer it made.
// - The pixel buffer belongs to the show: it makes it, sizes it and seals its
//   size, so the decoder can neither shrink it under the show nor grow it.
// - Fields come later at the end of Message (an orientation, say); data of its
//   own length (a colour profile) goes in the buffer after the pixels, with its
//   offset and length in the decoded message. Show and decoder are built
//   together, and `magic` changes whenever the layout does.
#pragma once

#include <cstdint>

namespace vellora::linux_platform::wire {

inline constexpr std::uint32_t magic = 0x564C4432;  // "VLD2"

enum class Kind : std::uint32_t { hello = 1, decode, buffer, decoded, failed, needBuffer };
enum class HelloStatus : std::uint32_t { lockedDown = 1, noSeccomp };

// Flags of decode.
inline constexpr std::uint32_t turnUpright = 1;

struct Message {
    std::uint32_t magic = wire::magic;
    Kind kind = Kind::failed;
    std::uint32_t status = 0;  // hello: a HelloStatus; decode: flags
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t bufferId = 0;  // decode, buffer: which of the show's buffers comes with it
    std::uint64_t bytes = 0;
    std::uint64_t bufferBytes = 0;
    std::uint32_t request = 0;  // decode, buffer and the answers: the decode's number
    std::uint32_t unused = 0;   // keeps the message free of padding
};

// The decoder's end of the socket, in the decoder process.
inline constexpr int decoderSocket = 3;

// Sends one message with up to two descriptors (-1 for none); false when the
// other end is gone. Never raises SIGPIPE.
bool sendMessage(int socket, const Message& message, int firstDescriptor = -1, int secondDescriptor = -1);
// Receives one message and up to two descriptors, which the caller then owns
// (-1 where none came). Fewer bytes than a Message, a wrong magic, or more
// descriptors than two is a broken peer: false, with nothing left open. Also
// false at the end of the stream, with `ended` set.
bool receiveMessage(int socket, Message& message, int (&descriptors)[2], bool& ended);

}  // namespace vellora::linux_platform::wire
