// The decoder process the show starts (platform/decoding/decoder_sandbox.h).
#include "platform/decoding/decoder_sandbox.h"

int main(int argc, char** argv) { return vellora::linux_platform::runDecoder(argc, argv, nullptr); }
