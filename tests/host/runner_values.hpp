// The runner's argument language (see mexrun.cpp) and how it describes what
// a call returned: values built in the stand-in host from short text tokens,
// and outputs written back as text.
#pragma once

#include <map>
#include <string>

#include "mexhost.h"

// Results a script line kept by name ("NAME = COMMAND ..."), referred to as $NAME.
using NamedValues = std::map<std::string, mxArray *>;

// Builds the argument a token stands for; nullptr with *why set when the token
// is not one. A $NAME token yields the named result itself, not a copy.
mxArray *makeArgument(const NamedValues &named, const std::string &token, std::string *why);

// Appends the lines that describe output K (mexrun.cpp's header gives the
// form): "outK class=C size=MxN values=V1,V2,...", "outK unset", or for a
// char array "text=...", for a cell or struct a line for each element.
void describeOutput(std::string *out, int slot, const mxArray *a);
