#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/ioctl.h>

namespace veltro {

// The modem lines a contact can be read on, in the order the port counts their changes.
struct ModemInput {
    const char* name;
    int bit; // TIOCM_*
};
inline constexpr std::array<ModemInput, 4> kModemInputs{{
    {"CTS", TIOCM_CTS},
    {"DSR", TIOCM_DSR},
    {"DCD", TIOCM_CD},
    {"RI", TIOCM_RI},
}};

// The lines the program drives: the LED, and the supply of the contacts.
struct ModemOutput {
    const char* name;
    int bit;
};
inline constexpr std::array<ModemOutput, 2> kModemOutputs{{{"RTS", TIOCM_RTS}, {"DTR", TIOCM_DTR}}};

// The lines of a port at one moment: the TIOCM_* bits and, where the port's driver counts them, how
// often each input line of kModemInputs has changed since it was opened. The counts show a contact
// that closed and opened again before the lines were read.
struct ModemReading {
    int bits = 0;
    std::optional<std::array<std::uint32_t, kModemInputs.size()>> changes;
};

// The modem lines of one serial port, reduced to what the start switch needs. The kit's thread
// opens, reads and waits; set() and interrupt() may come from another thread while it waits.
class ModemLines {
public:
    enum class Wake {
        Changed, // a line of the mask changed
        Quiet,   // the timeout passed (the lines may still have changed unnoticed)
        Woken,   // interrupt()
        Gone,    // the port failed: unplugged, hung up
    };
    struct WaitResult {
        Wake wake = Wake::Quiet;
        // When the wait ended, on the PC millisecond counter: the moment of the edge for Changed.
        std::uint32_t stamp = 0;
        std::string error; // why, for Gone
    };

    virtual ~ModemLines() = default;

    // Empty on success, else the reason for the operator.
    virtual std::string open(const std::string& device) = 0;
    virtual void close() = 0;
    // Empty on success, else why the port could not be read.
    virtual std::string read(ModemReading& out) = 0;
    // Waits until one of `mask`'s lines changes, at most `timeout_ms` (>= 0).
    virtual WaitResult wait(int mask, int timeout_ms) = 0;
    // Asserts (on) or drops the output lines in `bits`. Empty on success.
    virtual std::string set(int bits, bool on) = 0;
    // Makes a wait() in progress return Woken soon, or the next one at once.
    virtual void interrupt() = 0;
};

} // namespace veltro
