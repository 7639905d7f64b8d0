#pragma once

#include "startswitch/backends/serial/modem_lines.h"
#include "startswitch/kit_backends.h"
#include "startswitch/kit_config.h"
#include "startswitch/kit_driver.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace veltro {

// Start contacts on the modem lines of a serial port: each contact joins a line the program holds
// asserted (DTR or RTS, the supply) to an input line (CTS, DSR, DCD or RI). The other of DTR and RTS
// may carry the LED.
struct SerialWiring {
    std::string device;
    std::array<int, InterfaceKit::kInputs> inputs{}; // the TIOCM_* bit of each input; 0: not wired
    int led = 0;                                     // TIOCM_RTS or TIOCM_DTR; 0: no LED
};

// The wiring `config` asks for; empty, with `error` telling why, when it cannot work.
std::optional<SerialWiring> serial_wiring(const KitConfig& config, std::string& error);

class SerialKitDriver final : public KitDriver {
public:
    struct Timing {
        // A wait without a timeout reads the lines this often anyway: a change that came just
        // before the port was told to wait, or one the port does not wake for (a built-in port
        // wakes for the release of RI only), is seen at the latest then.
        int recheck_ms = 50;
        // After the supply is asserted, the lines may take this long to show the contacts (a USB
        // adapter reports them in its own time); their levels then are the attach levels.
        int settle_ms = 50;
    };

    SerialKitDriver(SerialWiring wiring, std::unique_ptr<ModemLines> lines, Timing timing);

    std::string open() override;
    void close() override;
    KitLevels levels() override;
    bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) override;
    void wake() override;
    void set_output(bool on) override;
    std::string device_type() const override;
    std::string library_version() const override;

private:
    void compare(const ModemReading& now, std::uint32_t stamp, std::vector<KitDriverEvent>& out);

    SerialWiring wiring_;
    std::unique_ptr<ModemLines> lines_;
    Timing timing_;
    int mask_ = 0;
    int supply_ = 0;
    // The lines as last reported; its counts are those already accounted for.
    ModemReading last_;
    // A wake that the opening's wait took for the wait after it (the kit's thread only).
    bool woken_ = false;
};

// A driver for `config` on `lines`; empty, with `error` set, when the wiring cannot work.
std::unique_ptr<KitDriver> make_serial_driver(const KitConfig& config, std::string& error,
                                              std::unique_ptr<ModemLines> lines,
                                              SerialKitDriver::Timing timing = {});

// The start-switch back end "serial": the modem-status lines of a serial port.
void register_serial_backend(KitBackends& backends);

} // namespace veltro
