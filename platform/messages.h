// Window message numbers as the platform numbers them. The core dispatches on
// these; each platform hands its messages over unchanged.
#pragma once

#include <cstdint>

namespace vellora::msg {

inline constexpr std::uint32_t create = 0x0001;
inline constexpr std::uint32_t destroy = 0x0002;
inline constexpr std::uint32_t setText = 0x000C;
inline constexpr std::uint32_t paint = 0x000F;
inline constexpr std::uint32_t close = 0x0010;
inline constexpr std::uint32_t showWindow = 0x0018;
inline constexpr std::uint32_t activateApp = 0x001C;
inline constexpr std::uint32_t setCursor = 0x0020;
inline constexpr std::uint32_t power = 0x0048;
inline constexpr std::uint32_t help = 0x0053;
inline constexpr std::uint32_t contextMenu = 0x007B;
inline constexpr std::uint32_t keyDown = 0x0100;
inline constexpr std::uint32_t sysKeyDown = 0x0104;
inline constexpr std::uint32_t sysCommand = 0x0112;
inline constexpr std::uint32_t timer = 0x0113;
inline constexpr std::uint32_t mouseMove = 0x0200;
inline constexpr std::uint32_t lButtonDown = 0x0201;
inline constexpr std::uint32_t rButtonDown = 0x0204;
inline constexpr std::uint32_t mButtonDown = 0x0207;
inline constexpr std::uint32_t powerBroadcast = 0x0218;
inline constexpr std::uint32_t verifyRequest = 0x8000;  // the shell's private message (WM_APP)

}  // namespace vellora::msg
