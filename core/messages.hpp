// Every text the commands show: the messages they raise (and the one warning),
// and the diagnostic lines they print. The texts are the system's own, kept
// exactly as users have always seen them, irregularities included ("one input
// arguments required", the full stop on two of them, the one without "Error: ").
//
// Each message is listed once, as ITEM(name, "text"): the list defines the
// constants below and message::all, and the tests read the texts from here.
#pragma once

#define MEXLINK_MESSAGES(ITEM)                                                                                         \
    /* How a command was called. */                                                                                    \
    ITEM(oneInputRequired, "Error: one input arguments required")                                                      \
    ITEM(twoInputsRequired, "Error: two input arguments required")                                                     \
    ITEM(fourInputsRequired, "Error: four input arguments required")                                                   \
    ITEM(fiveInputsRequired, "Error: five input arguments required")                                                   \
    ITEM(tooManyInputs, "Error: too many input arguments")                                                             \
    ITEM(tooManyOutputs, "Error: too many output arguments")                                                           \
    /* The arguments. */                                                                                               \
    ITEM(portNameNotText, "Error: arg0 must be a string")                                                              \
    ITEM(portNameNotOneRow, "Error: arg0 must be a row vector")                                                        \
    ITEM(nameCopyFailed, "Error: allocating memory to string")                                                         \
    ITEM(programNameNotText, "Input must be a string")                                                                 \
    ITEM(programNameBadShape, "Error: data should be a linear vector or is too long")                                  \
    ITEM(invalidPortHandle, "Error: invalid port handle")                                                              \
    ITEM(arg0NotNumber, "Error: arg0 must be a number")                                                                \
    ITEM(arg1NotNumber, "Error: arg1 must be a number")                                                                \
    ITEM(arg2NotNumber, "Error: arg2 must be a number")                                                                \
    ITEM(arg3NotNumber, "Error: arg3 must be a number")                                                                \
    ITEM(arg4NotNumber, "Error: arg4 must be a number")                                                                \
    ITEM(invalidGains, "Error: invalid motor PID value(s)")                                                            \
    /* The port. */                                                                                                    \
    ITEM(noSuchPort, "Error: serial port does not exist")                                                              \
    ITEM(noPortToClose, "Error: serial port does not exist.")                                                          \
    ITEM(openFailed, "Error: opening the serial port")                                                                 \
    ITEM(stateFailed, "Error: setting serial port state")                                                              \
    ITEM(timeoutFailed, "Error: setting timeout")                                                                      \
    ITEM(writeFailed, "Error: could not write to serial port")                                                         \
    ITEM(readFailed, "Error: could not read from serial port")                                                         \
    ITEM(closeFailed, "Error: could not close serial port.")                                                           \
    ITEM(neverPaused, "Error: the serial line never paused")                                                           \
    ITEM(interrupted, "Error: read interrupted by Ctrl-C")

namespace message {

#define MEXLINK_MESSAGE_CONSTANT(name, text) constexpr char name[] = text;
MEXLINK_MESSAGES(MEXLINK_MESSAGE_CONSTANT)
#undef MEXLINK_MESSAGE_CONSTANT

// notNumber[N] names argument N.
constexpr const char *notNumber[] = {arg0NotNumber, arg1NotNumber, arg2NotNumber, arg3NotNumber, arg4NotNumber};

#define MEXLINK_MESSAGE_TEXT(name, text) text,
constexpr const char *all[] = {MEXLINK_MESSAGES(MEXLINK_MESSAGE_TEXT)};
#undef MEXLINK_MESSAGE_TEXT

} // namespace message

namespace diagnostic {

constexpr char handleLine[] = "*hSerial: %d\n";
constexpr char readCountLine[] = "NumReadBytes: %d\n";
constexpr char opened[] = "openSerial: Successful!\n";
constexpr char closed[] = "closeSerial: Successful!\n";

} // namespace diagnostic
