// The stand-in host's matrix library and the runner's report of what a call
// returned: cells and structs that hold an array in one place only, as
// MATLAB's do, reported element by element for the Wine tests to compare.
#include <string>

#include <gtest/gtest.h>

#include "mexhost.h"
#include "runner_values.hpp"

namespace {

// Calls `function` as the runner does; its error, or its outputs as the
// runner reports them.
std::string report(MexFunction function, int nlhs, int nrhs = 0, const mxArray **prhs = nullptr)
{
    mxArray *plhs[2] = {};
    if (!mexhostCall(function, nlhs, plhs, nrhs, prhs))
        return std::string("error ") + mexhostLastError() + "\n";
    std::string out;
    for (int i = 0; i < nlhs; ++i) {
        describeOutput(&out, i + 1, plhs[i]);
        if (plhs[i] != nullptr)
            mxDestroyArray(plhs[i]);
    }
    return out;
}

} // namespace

TEST(StandInHost, ReportsCellsAndStructsElementByElement)
{
    const MexFunction returnsBoth = [](int, mxArray *plhs[], int, const mxArray *[]) {
        plhs[0] = mxCreateCellMatrix(3, 1);
        mxSetCell(plhs[0], 0, mxCreateString("COM5"));
        mxSetCell(plhs[0], 1, mxCreateString("\\\\.\\COM12"));
        const char *fields[] = {"period", "name"};
        plhs[1] = mxCreateStructMatrix(1, 1, 2, fields);
        mxSetField(plhs[1], 0, "period", mxCreateDoubleScalar(0.5));
        mxSetField(plhs[1], 0, "name", mxCreateString("drive\t1"));
    };
    EXPECT_EQ(report(returnsBoth, 2), "out1 class=cell size=3x1\n"
                                      "out1{1} class=char size=1x4 text=COM5\n"
                                      "out1{2} class=char size=1x9 text=\\\\\\\\.\\\\COM12\n"
                                      "out1{3} unset\n"
                                      "out2 class=struct size=1x1 fields=period,name\n"
                                      "out2(1).period class=double size=1x1 values=0.5\n"
                                      "out2(1).name class=char size=1x7 text=drive\\x091\n");
}

TEST(StandInHost, RefusesWhatMatlabWouldNotSurvive)
{
    // An array set into two places, an input set into a cell, a field or
    // element that is not there, a field name that is none: the call fails.
    const MexFunction setTwice = [](int, mxArray *plhs[], int, const mxArray *[]) {
        plhs[0] = mxCreateCellMatrix(2, 1);
        mxArray *text = mxCreateString("x");
        mxSetCell(plhs[0], 0, text);
        mxSetCell(plhs[0], 1, text);
    };
    const MexFunction setsItsInput = [](int, mxArray *plhs[], int, const mxArray *prhs[]) {
        plhs[0] = mxCreateCellMatrix(1, 1);
        mxSetCell(plhs[0], 0, const_cast<mxArray *>(prhs[0]));
    };
    const MexFunction noSuchField = [](int, mxArray *plhs[], int, const mxArray *[]) {
        const char *fields[] = {"a"};
        plhs[0] = mxCreateStructMatrix(1, 1, 1, fields);
        mxSetField(plhs[0], 0, "b", mxCreateDoubleScalar(1));
    };
    const MexFunction pastTheEnd = [](int, mxArray *plhs[], int, const mxArray *[]) {
        plhs[0] = mxCreateCellMatrix(1, 1);
        mxSetCell(plhs[0], 1, mxCreateString("x"));
    };
    const MexFunction badName = [](int, mxArray *plhs[], int, const mxArray *[]) {
        const char *fields[] = {"a", "a"};
        plhs[0] = mxCreateStructMatrix(1, 1, 2, fields);
    };
    const std::string setAgain =
        "error runner: mxSetCell: an array the call did not make, or one set into a cell or struct already\n";
    EXPECT_EQ(report(setTwice, 1), setAgain);
    mxArray *input = mexhostCreateChar(1, 1, "x");
    const mxArray *inputs[] = {input};
    EXPECT_EQ(report(setsItsInput, 1, 1, inputs), setAgain);
    mxDestroyArray(input);
    EXPECT_EQ(report(noSuchField, 1), "error runner: mxSetField: no field 'b'\n");
    EXPECT_EQ(report(pastTheEnd, 1), "error runner: mxSetCell: no such element of a cell array\n");
    EXPECT_EQ(report(badName, 1), "error runner: mxCreateStructMatrix: invalid or repeated field name 'a'\n");
}
