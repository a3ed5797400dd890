// Farm: simulators made on request. A JSON endpoint on 127.0.0.1 creates a
// simulator from a configuration, starts, stops and deletes it, and passes
// its control requests on, so that a program that cannot run a simulator
// itself (the Windows tests under Wine) drives simulators in this process.
//
// Owned by darvik-camsim's main, which calls Start and Stop. Requests are
// served one at a time on the server's one thread, which alone touches the
// simulators while the farm runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ControlServer.h"
#include "Simulator.h"

namespace darvik::camsim {

class Farm {
   public:
    Farm();
    ~Farm();
    Farm(const Farm&) = delete;
    Farm& operator=(const Farm&) = delete;

    // Listens on 127.0.0.1:port (0: an ephemeral port).
    bool Start(std::uint16_t port, std::string* error);
    // Stops listening, then stops and deletes every simulator.
    void Stop();
    std::uint16_t Port() const { return m_port; }
    std::string Url() const;  // "http://127.0.0.1:PORT"

   private:
    struct Entry {
        std::unique_ptr<Simulator> simulator;
        std::vector<std::string> files;  // PEM files written for it, removed with it
        ~Entry();
    };

    ControlReply Handle(std::string_view method, std::string_view url,
                        const std::map<std::string, std::string>& args, std::string_view body);
    ControlReply Create(std::string_view body);
    static Json Describe(std::uint64_t id, const Simulator& simulator);

    JsonEndpoint m_endpoint;
    MHD_Daemon* m_daemon = nullptr;
    std::uint16_t m_port = 0;
    std::map<std::uint64_t, std::unique_ptr<Entry>> m_simulators;
    std::uint64_t m_nextId = 1;
};

}  // namespace darvik::camsim
