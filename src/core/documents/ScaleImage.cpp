#include "core/documents/ScaleImage.h"

#include <cstdint>
#include <limits>

namespace ScaleImage {

int ScaledLength(int percent, int length)
{
    const std::int64_t product = std::int64_t(percent) * length;
    // Work on the magnitude so that negative inputs round symmetrically.
    const std::int64_t magnitude = product < 0 ? -product : product;
    std::int64_t quotient = magnitude / 100;
    const std::int64_t rest = magnitude % 100;
    if (rest > 50 || (rest == 50 && quotient % 2 != 0))
        ++quotient;
    const std::int64_t result = product < 0 ? -quotient : quotient;
    if (result > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (result < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return int(result);
}

QSize ScaledSize(int percent, const QSize& natural)
{
    return QSize(ScaledLength(percent, natural.width()), ScaledLength(percent, natural.height()));
}

} // namespace ScaleImage
