// The checks every command makes on its arguments before it acts, and the
// number conversions they share.
#pragma once

#include <cstdint>

#include "frame/messages.hpp"
#include "mex.h"

namespace mexlink {

// Truncates toward zero; NaN and values whose truncation leaves the int32
// range give INT32_MIN.
constexpr std::int32_t toInt(double x)
{
    return x > -2147483649.0 && x < 2147483648.0 ? static_cast<std::int32_t>(x) : INT32_MIN;
}

// A scaled setpoint limited to -100..100 before the truncation; NaN gives -100.
constexpr std::int32_t limitedProduct(double scaled)
{
    return scaled > 100.0 ? 100 : !(scaled >= -100.0) ? -100 : toInt(scaled);
}

// Setpoint conversion: scaled by 5.8976, then limited.
constexpr double setpointScale = 5.8976;
constexpr std::int32_t limitedSetpoint(double x) { return limitedProduct(x * setpointScale); }

// Each check below returns only when the argument is acceptable; otherwise it
// raises its message (raise.hpp) and does not return.

void checkInputCount(int nrhs, int expected, const Message &message);
void checkOutputCount(int nlhs, int allowed);

// The handle argument must be a non-empty, real, non-sparse uint32 array;
// yields a pointer to its first element. Raises message::invalidHandle.
const std::uint32_t *portHandleOf(const mxArray *arg);

// The port name (linkAttach, linkProbe): a char row, copied into host
// memory. nullptr after the one warning, when the copy failed: the command
// then returns without output.
const char *portNameOf(const mxArray *arg);

// Numeric arguments (any real or complex numeric or logical class, full or
// sparse, not empty) are read with mxGetScalar. `position` is the argument's index in
// the call (1..4) and names it in message::notNumber.
double scalarOf(const mxArray *arg, int position);

} // namespace mexlink
