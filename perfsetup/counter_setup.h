// counter_setup.h: installing and removing the TREVAN driver's performance counters.
//
// The counter library (standbyag.dll) is registered in the driver's "Performance" key
// (SYSTEM\CurrentControlSet\Services\TREVAN\Performance: "Open", "Close", "Collect",
// "Library", each a REG_SZ with its terminator, written in that order); the counter names and help
// texts are loaded by the system's lodctr from perfctr.ini in the system directory, and removed by
// unlodctr TREVAN. A "First Counter" value in the key, which lodctr writes, means names are loaded.
//
// Both operations start the tools without a console and block until each has ended. Nothing is
// reported: a tool that cannot be started, a value that cannot be written or a key that cannot be
// deleted is passed over, because the network setup's scripts go on whatever happens here.
#ifndef PAIRWAY_PERFSETUP_COUNTER_SETUP_H
#define PAIRWAY_PERFSETUP_COUNTER_SETUP_H

// Unloads names loaded before (when "First Counter" is present), writes the four library values
// and runs lodctr on the system directory's perfctr.ini.
void install_performance();

// Unloads the names (when "First Counter" is present), deletes the four library values and then
// the "Performance" key itself.
void remove_performance();

#endif  // PAIRWAY_PERFSETUP_COUNTER_SETUP_H
