#include "link/Link.h"

namespace veltro::link {

void TLink::SetByteCount(int32_t n)
{
    ByteCount = n;
    if (n == 0) {
        ReportedCount = 0;
        return;
    }
    // Progress at most once per 128 bytes, so a long reply does not flood the caller.
    if (n - ReportedCount >= 128) {
        ReportedCount = n;
        if (OnProgress)
            OnProgress(n);
    }
}

}  // namespace veltro::link
