// [names, descriptions] = linkPorts(root)
// Lists the serial ports the system knows of, sorted by name, with what it
// says of each; prints them when no output is asked for. Only looks: no port
// is opened. root (default "/") is the folder taken for "/" on POSIX.
#include <cstring>

#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/listing.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs > 1)
        raiseError(message::inputCountTooMany);
    checkOutputCount(nlhs, 2);
    const char *root = "/";
    if (nrhs == 1) {
        if (mxIsChar(prhs[0]) != true)
            raiseError(message::rootNotText);
        if (mxGetM(prhs[0]) != 1)
            raiseError(message::rootNotRow);
        const mwSize length = static_cast<mwSize>(mxGetN(prhs[0]) + 1);
        auto *copy = static_cast<char *>(mxCalloc(length, 1));
        if (copy == nullptr || mxGetString(prhs[0], copy, length) != 0)
            raiseError(message::nameCopyFailed);
        // A char(0) would end the name early, naming another folder.
        if (std::strlen(copy) + 1 < static_cast<std::size_t>(length))
            raiseError(message::noSuchFolder);
        root = copy;
    }

    // Host memory: the host frees it whatever happens next.
    auto *list = static_cast<PortList *>(mxCalloc(1, sizeof(PortList)));
    if (list == nullptr)
        raiseError(message::nameCopyFailed);
    listSerialPorts(root, list);
    if (nlhs == 0) {
        printPortList(*list, root);
        return;
    }
    plhs[0] = portNameCells(*list, root);
    if (nlhs > 1)
        plhs[1] = portDescriptionCells(*list);
}
