#include "argument_checks.hpp"

#include "raise.hpp"

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
