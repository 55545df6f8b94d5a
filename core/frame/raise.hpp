// How a failure reaches the user: as an error with its identifier, which
// ends the command (the host never returns from it), or as the one warning.
// The text goes through "%s", so no character of it is read as a format.
#pragma once

#include "frame/messages.hpp"
#include "mex.h"

namespace mexlink {

inline void raiseError(const Message &message) { mexErrMsgIdAndTxt(message.id, "%s", message.text); }

inline void raiseWarning(const Message &message) { mexWarnMsgIdAndTxt(message.id, "%s", message.text); }

} // namespace mexlink
