// The shared shuffle state as another process may have left it: anything that
// decodes can take the next picture, and is its own encoding.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/picture_folders.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::optional<ShuffleState> state = decodeShuffleState(bytes);
    if (!state) return 0;
    fuzz::require(encodeShuffleState(*state) == bytes, "a state that decodes is its own encoding");
    fuzz::require(state->recent.size() <= shuffleRecentSize, "the recent pictures are bounded");
    // Pictures known to the show: some of those the state names, and some it does not.
    std::vector<std::uint64_t> known(state->shown.begin(), state->shown.begin() + std::min<std::size_t>(state->shown.size(), 8));
    for (std::uint64_t i = 0; i < 4; ++i) known.push_back(i * 0x9E3779B97F4A7C15ull);
    std::vector<std::int32_t> taken;
    // Takes while more pictures may become known, and takes given back, on every other turn.
    for (std::size_t i = 0; i < 2 * known.size(); ++i) {
        const std::int32_t next = takeNextInShuffle(*state, known, 42, i % 4 < 2);
        fuzz::require(next >= 0 && static_cast<std::size_t>(next) < known.size(), "the next picture is a known one");
        taken.push_back(next);
        if (i % 2 == 1) takeBackFromShuffle(*state, known[static_cast<std::size_t>(next)]);
        fuzz::require(std::is_sorted(state->shown.begin(), state->shown.end()), "the shown pictures stay in order");
    }
    fuzz::require(decodeShuffleState(encodeShuffleState(*state)).has_value(), "what is written reads back");
    return 0;
}
