#include "platform/sysinfo.h"

#include <QString>
#include <QSysInfo>

#include <sys/sysinfo.h>

namespace ravlon {

uint64_t PhysicalMemoryBytes() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return 0;
    return static_cast<uint64_t>(info.totalram) * info.mem_unit;
}

std::string OSVersionsText() {
    const std::string name = QSysInfo::prettyProductName().toStdString();
    if (name.empty() || name == "unknown") return "Linux";
    return name;
}

} // namespace ravlon
