#pragma once

#include "startswitch/backends/serial/interruptible_call.h"
#include "startswitch/backends/serial/modem_lines.h"

#include <cstdint>
#include <string>
#include <termios.h>
#include <vector>

namespace veltro {

// The modem lines of a real serial port (a built-in UART or a USB adapter) through the kernel's tty
// ioctls. A change wakes TIOCMIWAIT on the kit's thread and is stamped as it returns; ports whose
// driver cannot wait for changes are read every few milliseconds instead.
class TtyModemLines final : public ModemLines {
public:
    // How often a port that cannot wait for changes is read.
    static constexpr int kPollMs = 2;

    TtyModemLines() = default;
    ~TtyModemLines() override;

    std::string open(const std::string& device) override;
    void close() override;
    std::string read(ModemReading& out) override;
    WaitResult wait(int mask, int timeout_ms) override;
    std::string set(int bits, bool on) override;
    void interrupt() override { call_.interrupt(); }

private:
    std::string failure(const char* what, int error) const;

    int fd_ = -1;
    std::string device_;
    termios saved_{};
    bool counted_ = false;
    bool polled_ = false;
    InterruptibleCall call_;
};

// The serial ports under `dev` worth offering: the stable names in serial/by-id first, then the USB
// adapters (ttyUSB, ttyACM) and the built-in ports (ttyS) that have a UART behind them, which
// `sys_tty` (/sys/class/tty) tells without opening them.
std::vector<std::string> serial_ports(const std::string& dev, const std::string& sys_tty);

} // namespace veltro
