#include "support/operator_name.h"

#include "support/operator.h"
#include "support/settings.h"

#include <optional>

namespace veltro {

namespace {
std::optional<std::string>& session_name() {
    static std::optional<std::string> name;
    return name;
}
} // namespace

std::string session_operator_name() {
    std::optional<std::string>& name = session_name();
    if (name) {
        return *name;
    }
    const std::string stored = Read_Setting(keys::operator_name);
    const std::optional<std::string> answer =
        the_operator().input_box("Operator's name (written with every change of a result)", "Veltro operator",
                                 stored == keys::operator_name.default_value ? std::string() : stored);
    // Asked once: a cancelled question names nobody for the rest of the session.
    name = answer.value_or(std::string());
    if (!name->empty()) {
        Write_Setting(keys::operator_name, *name);
    }
    return *name;
}

void forget_session_operator_name() {
    session_name().reset();
}

} // namespace veltro
