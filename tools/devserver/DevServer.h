#pragma once

#include <httplib.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "DevFaults.h"
#include "DevState.h"
#include "StateFile.h"

namespace DevServer {

struct ServiceLimits {
    std::size_t apiBodyBytes = 1 << 20;        // JSON and form bodies
    std::size_t partBytes = 64u << 20;         // one part on the storage endpoint
    std::size_t storedPartBytes = 1u << 30;    // all parts of all open uploads
    std::size_t uploadsPerUser = 32;
    std::size_t uploads = 256;
    int partNumbers = 10000;
};

// The service's REST interface, its object storage under /storage/ and the admin switches
// under /_dev/, all on one httplib server. Every handler runs with the state's mutex held.
class Service {
public:
    Service(DevState& state, DevFaults& faults, StateFile* stateFile, ServiceLimits limits);

    // Registers the routes, the fault and body checks and the request log.
    void install(httplib::Server& server);
    // The address presigned and download URLs point at, known once the port is bound.
    void setBaseURL(std::string baseURL) { baseURL_ = std::move(baseURL); }

private:
    struct Ticket {
        std::string fileId;
        double expiresAt = 0;
    };

    DevState& state_;
    DevFaults& faults_;
    StateFile* stateFile_;
    ServiceLimits limits_;
    std::string baseURL_;
    std::string signingKey_;
    std::map<std::string, Ticket> tickets_;  // guarded by the state's mutex

    friend struct Routes;
};

}  // namespace DevServer
