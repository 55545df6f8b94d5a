#include "port/listing.hpp"

#include <algorithm>
#include <cstring>

#include "frame/raise.hpp"

namespace mexlink {

namespace {

// The ports' full names, each written in turn after the root in one buffer
// of host memory.
struct FullNames {
    char *text;
    std::size_t rootLength;
};

FullNames fullNames(const PortList &list, const char *root)
{
    // The root without its trailing '/': "/" adds nothing to "/dev/ttyUSB0".
    std::size_t rootLength = list.namesUnderRoot ? std::strlen(root) : 0;
    while (rootLength > 0 && root[rootLength - 1] == '/')
        --rootLength;
    auto *text = static_cast<char *>(mxCalloc(rootLength + listedNameCapacity, 1));
    if (text == nullptr)
        raiseError(message::nameCopyFailed);
    std::memcpy(text, root, rootLength);
    return FullNames{text, rootLength};
}

const char *fullName(const FullNames &names, const ListedPort &port)
{
    std::strcpy(names.text + names.rootLength, port.name);
    return names.text;
}

} // namespace

void listSerialPorts(const char *root, PortList *list)
{
    if (listSystemPorts(root, list) == ListOutcome::noRoot)
        raiseError(message::noSuchFolder);
    sortListedPorts(list);
}

mxArray *portNameCells(const PortList &list, const char *root)
{
    const FullNames names = fullNames(list, root);
    mxArray *cells = mxCreateCellMatrix(list.count, 1);
    for (std::uint32_t i = 0; i < list.count; ++i)
        mxSetCell(cells, i, mxCreateString(fullName(names, list.ports[i])));
    return cells;
}

mxArray *portDescriptionCells(const PortList &list)
{
    mxArray *cells = mxCreateCellMatrix(list.count, 1);
    for (std::uint32_t i = 0; i < list.count; ++i)
        mxSetCell(cells, i, mxCreateString(list.ports[i].description));
    return cells;
}

void printPortList(const PortList &list, const char *root)
{
    if (list.count == 0) {
        mexPrintf(diagnostic::noPortsLine);
        return;
    }
    const FullNames names = fullNames(list, root);
    std::size_t width = 0;
    for (std::uint32_t i = 0; i < list.count; ++i)
        width = std::max(width, names.rootLength + std::strlen(list.ports[i].name));
    for (std::uint32_t i = 0; i < list.count; ++i) {
        const ListedPort &port = list.ports[i];
        if (port.description[0] == '\0')
            mexPrintf(diagnostic::portNameLine, fullName(names, port));
        else
            mexPrintf(diagnostic::portLine, static_cast<int>(width), fullName(names, port), port.description);
    }
}

} // namespace mexlink
