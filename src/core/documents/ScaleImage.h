#pragma once

#include <QSize>

// The arithmetic of the picture scaling dialog: a percentage of a picture's natural size.
namespace ScaleImage {

constexpr int MinPercent = 10;
constexpr int MaxPercent = 510;
constexpr int TickInterval = 25;
constexpr int NaturalPercent = 100;

// percent × length ÷ 100 taken to the nearest integer, a half going to the even neighbour
// (250 % of 101 is 252, not 253). Exact integer arithmetic; the result is clamped to int.
int ScaledLength(int percent, int length);

// Both sides of natural scaled by ScaledLength.
QSize ScaledSize(int percent, const QSize& natural);

} // namespace ScaleImage
