#pragma once

#include <string>

namespace veltro {

// The name of the operator, written with every change of a heat's result. It is asked once per
// session, the first time a change needs it, with the name given last as the default, and kept in the
// settings store; "" when the operator gives none (the change is still made, naming nobody).
std::string session_operator_name();
// A new session: the next change asks again.
void forget_session_operator_name();

} // namespace veltro
