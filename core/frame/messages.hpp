// Every text the commands show: the messages they raise (and the warnings),
// each with its identifier, and the diagnostic lines they print. The texts are
// the system's own, kept exactly as users have always seen them,
// irregularities included ("one input arguments required", the full stop on
// two of them, the one without "Error: ").
//
// Each message is listed once, as ITEM(id, variant, "text"): it is raised
// with the identifier "mexlink:<id>" and named message::<id><variant> here.
// Where one identifier covers several texts (the input counts, the argument
// positions) or one text several causes (a port in use, denied, or failing
// otherwise), the variant tells the rows apart. The list defines the
// constants below and message::all; the tests read the rows from here.
#pragma once

namespace mexlink {

#define MEXLINK_MESSAGES(ITEM)                                                                                         \
    /* How a command was called. */                                                                                    \
    ITEM(inputCount, One, "Error: one input arguments required")                                                       \
    ITEM(inputCount, Two, "Error: two input arguments required")                                                       \
    ITEM(inputCount, Four, "Error: four input arguments required")                                                     \
    ITEM(inputCount, Five, "Error: five input arguments required")                                                     \
    ITEM(inputCount, TooMany, "Error: too many input arguments")                                                       \
    ITEM(outputCount, , "Error: too many output arguments")                                                            \
    /* The arguments. */                                                                                               \
    ITEM(portNameNotText, , "Error: arg0 must be a string")                                                            \
    ITEM(portNameNotRow, , "Error: arg0 must be a row vector")                                                         \
    ITEM(nameCopyFailed, , "Error: allocating memory to string")                                                       \
    ITEM(rootNotText, , "Error: arg0 must be a string")                                                                \
    ITEM(rootNotRow, , "Error: arg0 must be a row vector")                                                             \
    ITEM(programNameNotText, , "Input must be a string")                                                               \
    ITEM(badProgramName, , "Error: data should be a linear vector or is too long")                                     \
    ITEM(invalidHandle, , "Error: invalid port handle")                                                                \
    ITEM(notNumber, Arg0, "Error: arg0 must be a number")                                                              \
    ITEM(notNumber, Arg1, "Error: arg1 must be a number")                                                              \
    ITEM(notNumber, Arg2, "Error: arg2 must be a number")                                                              \
    ITEM(notNumber, Arg3, "Error: arg3 must be a number")                                                              \
    ITEM(notNumber, Arg4, "Error: arg4 must be a number")                                                              \
    ITEM(invalidGains, , "Error: invalid motor PID value(s)")                                                          \
    ITEM(badProbeTime, , "Error: seconds must be more than 0 and at most 600")                                         \
    /* The port. */                                                                                                    \
    ITEM(noSuchPort, , "Error: serial port does not exist")                                                            \
    ITEM(noSuchFolder, , "Error: folder does not exist")                                                               \
    ITEM(noPort, , "Error: serial port does not exist")                                                                \
    ITEM(noPort, ToClose, "Error: serial port does not exist.")                                                        \
    ITEM(portBusy, , "Error: opening the serial port")                                                                 \
    ITEM(portDenied, , "Error: opening the serial port")                                                               \
    ITEM(openFailed, , "Error: opening the serial port")                                                               \
    ITEM(tooManyPorts, , "Error: opening the serial port")                                                             \
    ITEM(stateFailed, , "Error: setting serial port state")                                                            \
    ITEM(timeoutFailed, , "Error: setting timeout")                                                                    \
    ITEM(notAttached, ForWrite, "Error: could not write to serial port")                                               \
    ITEM(notAttached, ForRead, "Error: could not read from serial port")                                               \
    ITEM(notAttached, ForClose, "Error: could not close serial port.")                                                 \
    ITEM(writeFailed, , "Error: could not write to serial port")                                                       \
    ITEM(readFailed, , "Error: could not read from serial port")                                                       \
    ITEM(closeFailed, , "Error: could not close serial port.")                                                         \
    ITEM(neverPaused, , "Error: the serial line never paused")                                                         \
    ITEM(interrupted, , "Error: read interrupted by Ctrl-C")                                                           \
    ITEM(interrupted, Write, "Error: write interrupted by Ctrl-C")                                                     \
    ITEM(interrupted, Connect, "Error: connection interrupted by Ctrl-C")

struct Message {
    const char *id;
    const char *text;
};

namespace message {

#define MEXLINK_MESSAGE_CONSTANT(id, variant, text) constexpr Message id##variant{"mexlink:" #id, text};
MEXLINK_MESSAGES(MEXLINK_MESSAGE_CONSTANT)
#undef MEXLINK_MESSAGE_CONSTANT

// notNumber[N] names argument N.
constexpr const Message *notNumber[] = {&notNumberArg0, &notNumberArg1, &notNumberArg2, &notNumberArg3, &notNumberArg4};

#define MEXLINK_MESSAGE_ROW(id, variant, text) {"mexlink:" #id, text},
constexpr Message all[] = {MEXLINK_MESSAGES(MEXLINK_MESSAGE_ROW)};
#undef MEXLINK_MESSAGE_ROW

} // namespace message

// The warning before an open error whose text several causes share: the
// port's name, the cause, the system's own words where it gave any, and the
// error's identifier. The help texts show it as "PORT: CAUSE (IDENTIFIER)".
namespace message {
constexpr Message openCause{"mexlink:openCause", "%s: %s%s%s (%s)"};
} // namespace message

// The warning when a port opens that the system lists as a Bluetooth link's
// Incoming port (Windows), on which the controller's messages may never
// come: the port's name and the note below, which also ends the cause when
// such a port fails to open. The help texts show it as
// "PORT: a Bluetooth link's Incoming port, ...".
namespace message {
constexpr Message incomingPort{"mexlink:incomingPort", "%s: %s"};
constexpr char incomingPortNote[] = "a Bluetooth link's Incoming port, which waits for the controller to call: "
                                    "attach its Outgoing port (linkPorts names it)";
} // namespace message

namespace diagnostic {

constexpr char handleLine[] = "*hSerial: %d\n";
constexpr char readCountLine[] = "NumReadBytes: %d\n";
constexpr char opened[] = "openSerial: Successful!\n";
constexpr char closed[] = "closeSerial: Successful!\n";
// linkPorts: a port with its description (the name padded to the width
// given), one without, and none at all.
constexpr char portLine[] = "%-*s  %s\n";
constexpr char portNameLine[] = "%s\n";
constexpr char noPortsLine[] = "no serial port found\n";

} // namespace diagnostic

} // namespace mexlink
