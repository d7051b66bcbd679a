// Package framing bytes and command bytes of the printer's command stream.
#pragma once

#include <cstdint>

constexpr uint8_t PACKAGE_HEAD = 0x1F;
constexpr uint8_t PACKAGE_TAIL = 0x88;

constexpr uint8_t CMD_PAGE_BEGIN = 0x20;
constexpr uint8_t CMD_PRINT_LINES = 0x21;
constexpr uint8_t CMD_FEED_LINES = 0x22;
constexpr uint8_t CMD_DOT_LIMITS = 0x25;
constexpr uint8_t CMD_LINE_BYTES = 0x27;
constexpr uint8_t CMD_PAGE_END = 0x28;
constexpr uint8_t CMD_GAP_TYPE = 0x42;
constexpr uint8_t CMD_DARKNESS = 0x43;
constexpr uint8_t CMD_SPEED = 0x44;
constexpr uint8_t CMD_GAP_LENGTH = 0x45;

// Largest value a short number carries.
constexpr uint16_t SHORT_NUMBER_MAX = 0x3FFF;
// Values from this one on take two bytes.
constexpr uint16_t SHORT_NUMBER_TWO_BYTES = 192;
