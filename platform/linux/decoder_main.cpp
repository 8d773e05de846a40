// The decoder process the show starts (platform/linux/decoder_sandbox.h).
#include "platform/linux/decoder_sandbox.h"

int main(int argc, char** argv) { return vellora::linux_platform::runDecoder(argc, argv, nullptr); }
