// Every text the commands show: the messages they raise (and the one warning),
// and the diagnostic lines they print. The texts are the system's own, kept
// exactly as users have always seen them, irregularities included ("one input
// arguments required", the full stop on two of them, the one without "Error: ").
#pragma once

namespace message {

// How a command was called.
constexpr char oneInputRequired[] = "Error: one input arguments required";
constexpr char twoInputsRequired[] = "Error: two input arguments required";
constexpr char fourInputsRequired[] = "Error: four input arguments required";
constexpr char fiveInputsRequired[] = "Error: five input arguments required";
constexpr char tooManyInputs[] = "Error: too many input arguments";
constexpr char tooManyOutputs[] = "Error: too many output arguments";

// The arguments. notNumber[N] names argument N.
constexpr char portNameNotText[] = "Error: arg0 must be a string";
constexpr char portNameNotOneRow[] = "Error: arg0 must be a row vector";
constexpr char nameCopyFailed[] = "Error: allocating memory to string";
constexpr char programNameNotText[] = "Input must be a string";
constexpr char programNameBadShape[] = "Error: data should be a linear vector or is too long";
constexpr char invalidPortHandle[] = "Error: invalid port handle";
constexpr const char *notNumber[] = {"Error: arg0 must be a number", "Error: arg1 must be a number",
                                     "Error: arg2 must be a number", "Error: arg3 must be a number",
                                     "Error: arg4 must be a number"};
constexpr char invalidGains[] = "Error: invalid motor PID value(s)";

// The port.
constexpr char noSuchPort[] = "Error: serial port does not exist";
constexpr char noPortToClose[] = "Error: serial port does not exist.";
constexpr char openFailed[] = "Error: opening the serial port";
constexpr char stateFailed[] = "Error: setting serial port state";
constexpr char timeoutFailed[] = "Error: setting timeout";
constexpr char writeFailed[] = "Error: could not write to serial port";
constexpr char readFailed[] = "Error: could not read from serial port";
constexpr char closeFailed[] = "Error: could not close serial port.";
constexpr char neverPaused[] = "Error: the serial line never paused";
constexpr char interrupted[] = "Error: read interrupted by Ctrl-C";

} // namespace message

namespace diagnostic {

constexpr char handleLine[] = "*hSerial: %d\n";
constexpr char readCountLine[] = "NumReadBytes: %d\n";
constexpr char opened[] = "openSerial: Successful!\n";
constexpr char closed[] = "closeSerial: Successful!\n";

} // namespace diagnostic
