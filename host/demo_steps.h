// The demo's own data: what the PC sends in the import and what the user
// changes on the handheld between the two synchronisations.
#ifndef MORVANE_HOST_DEMO_STEPS_H
#define MORVANE_HOST_DEMO_STEPS_H

#include <stddef.h>

#include <string>

#include "host/host_env.h"
#include "bridge/device_session.h"

namespace morvane_host {

class DemoPlan {
public:
    explicit DemoPlan(const DemoWorld& world) : world_(world) {}

    // The PC identity the settings file holds.
    std::string PcId() const;
    // A new appointment, contact and saved mail, a task marked done and a
    // memo deleted; prints the ids the device gave.
    // False when a step failed, which it reports.
    bool ImportChanges(DeviceSession& session) const;
    // Edits the device image as the handheld's user would.
    bool EditOnDevice(std::string* error) const;
    size_t TraceLineCount() const;

private:
    const DemoWorld& world_;
};

}  // namespace morvane_host

#endif
