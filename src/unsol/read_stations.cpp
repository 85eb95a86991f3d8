// ReadStations and ReadStation on the read transaction, and the thread
// routines that the receiver thread starts for them.
#include "unsol/read_stations.h"

#include "host/driver_threads.h"
#include "transactions/sauread.h"
#include "unsol/station_read.h"

namespace telmor {

void ReadStations(DriverContext& context) {
    ReadStationsWith(context, DoRead);
}

void ReadStation(DriverContext& context, uint16_t station) {
    ReadStationWith(context, station, DoRead);
}

void ReadStationsThread(void* context, uint32_t /*unused*/) {
    auto& driverContext = *static_cast<DriverContext*>(context);
    ReadStations(driverContext);
    LeaveDriverThread(driverContext);
}

// The station comes with the thread's start: readStationNo is shared and may
// already name the next station by the time this thread runs.
void ReadStationThread(void* context, uint32_t station) {
    auto& driverContext = *static_cast<DriverContext*>(context);
    if (station < kStationCount) ReadStation(driverContext, static_cast<uint16_t>(station));
    LeaveDriverThread(driverContext);
}

}  // namespace telmor
