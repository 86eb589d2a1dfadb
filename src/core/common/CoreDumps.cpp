#include "core/common/CoreDumps.h"

#include <QString>
#include <QtGlobal>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace CoreDumps {

bool Forbid()
{
    if (qEnvironmentVariable(AllowVariable) == QStringLiteral("1"))
        return false;
    // Both: the limit alone leaves core_pattern pipes (systemd-coredump) free to collect a dump.
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool hidden = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && hidden;
}

} // namespace CoreDumps
