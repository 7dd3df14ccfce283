#pragma once

#include "CdReader.h"

#include <QString>
#include <cstdint>
#include <stdexcept>

// Frame addresses: 32-bit signed counts of frames, 75 per second; one frame is one audio
// sector. Every step is checked: a table of contents that would overflow is an error of
// that table, never a wrapped value.
class FrameOverflow : public std::overflow_error
{
public:
    FrameOverflow() : std::overflow_error("frame arithmetic overflows 32 bits") {}
};

// The frame address of the disc's first sector: table entries count the 150 frames of the
// lead-in.
inline constexpr std::int32_t LeadInFrames = 150;

std::int32_t checkedAdd(std::int32_t a, std::int32_t b);
std::int32_t checkedSub(std::int32_t a, std::int32_t b);
std::int32_t checkedMul(std::int32_t a, std::int32_t b);

// (minutes × 60 + seconds) × 75 + frames.
std::int32_t frameAddress(const TocTime &entry);

// "mm:ss" for the span from start to end: whole seconds rounded down, minutes growing past
// 59 with no hour field.
QString FormaterDuree(std::int32_t start, std::int32_t end);
