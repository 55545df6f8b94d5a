// What linkPorts does with the platform's list of ports (port/port_list.hpp):
// sorts it, or raises when the root is no folder, and hands it over as the
// command's outputs or as printed lines. The list lives in host memory.
#pragma once

#include "mex.h"
#include "port/port_list.hpp"

namespace mexlink {

// Fills `list` sorted by name (naturalCompare). Raises message::noSuchFolder
// when `root` is no folder.
void listSerialPorts(const char *root, PortList *list);

// The ports' names (with the root in front where the platform's names go
// under it) and their descriptions, each as an n-by-1 cell array of char
// rows.
mxArray *portNameCells(const PortList &list, const char *root);
mxArray *portDescriptionCells(const PortList &list);

// One line per port, its name (padded to the longest) then its description;
// or one line saying that there is none.
void printPortList(const PortList &list, const char *root);

} // namespace mexlink
