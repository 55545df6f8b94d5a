#include "frame/argument_checks.hpp"

#include <cstring>

#include "frame/raise.hpp"

namespace mexlink {

void checkInputCount(int nrhs, int expected, const Message &message)
{
    if (nrhs != expected)
        raiseError(message);
}

void checkOutputCount(int nlhs, int allowed)
{
    if (nlhs > allowed)
        raiseError(message::outputCount);
}

const std::uint32_t *portHandleOf(const mxArray *arg)
{
    // Reading 32 bits out of an array of another class or an empty one would
    // pick an arbitrary number and act on whatever descriptor it names.
    const void *data = nullptr;
    if (arg == nullptr || !mxIsUint32(arg) || mxIsComplex(arg) || mxIsSparse(arg) || mxGetNumberOfElements(arg) == 0
        || (data = mxGetData(arg)) == nullptr)
        raiseError(message::invalidHandle);
    return static_cast<const std::uint32_t *>(data);
}

const char *portNameOf(const mxArray *arg)
{
    if (mxIsChar(arg) != true)
        raiseError(message::portNameNotText);
    if (mxGetM(arg) != 1)
        raiseError(message::portNameNotRow);
    const mwSize length = static_cast<mwSize>(mxGetN(arg) + 1);
    auto *name = static_cast<char *>(mxCalloc(length, 1));
    if (name == nullptr || mxGetString(arg, name, length) != 0) {
        raiseWarning(message::nameCopyFailed);
        return nullptr;
    }
    // A char(0) would end the name early: the system would be handed another
    // port's name. No port carries such a name.
    if (std::strlen(name) + 1 < static_cast<std::size_t>(length))
        raiseError(message::noSuchPort);
    return name;
}

double scalarOf(const mxArray *arg, int position)
{
    // mxGetScalar of a cell, struct, char or empty array has no meaningful
    // value; of a sparse array it is the first nonzero element (0 if none),
    // in MATLAB and in Octave alike.
    if (arg == nullptr || !(mxIsNumeric(arg) || mxIsLogical(arg)) || mxGetNumberOfElements(arg) == 0)
        raiseError(*message::notNumber[position < 0 || position > 4 ? 0 : position]);
    return mxGetScalar(arg);
}

} // namespace mexlink
