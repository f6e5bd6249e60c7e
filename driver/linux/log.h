// log.h: how the Linux data paths report what went wrong where nobody asked (a member that
// could not be given back, a journal that could not be read).
//
// One line per event, to the daemon's log once it gave one (SetDataPathLog in data_path.h),
// else to standard error, which the service manager keeps in the driver's log.
#ifndef PAIRWAY_DRIVER_LINUX_LOG_H
#define PAIRWAY_DRIVER_LINUX_LOG_H

#include <string_view>

namespace pairway::driver {

void LogLine(std::string_view line);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_LOG_H
