/* The stand-in host's own entry points (all named mexhost...), beside the MEX
 * API of mex.h: what a runner or a test needs to build arguments, call a
 * plug-in, see what it printed or raised, and press Ctrl-C. Not part of the
 * API the commands use. */
#ifndef MEXLINK_HOST_MEXHOST_H
#define MEXLINK_HOST_MEXHOST_H

#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*MexFunction)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* matrix library extras */
MEXLINK_HOST_API mxArray *mexhostCreateArray(mxClassID classid, size_t rows, size_t cols, bool complex, bool sparse);
MEXLINK_HOST_API mxArray *mexhostCreateChar(size_t rows, size_t cols, const char *text);
/* Bytes an element of the class takes (0 for cells, structs, function handles). */
MEXLINK_HOST_API size_t mexhostElementSize(mxClassID classid);
/* A cell's or struct's contents: the field count and names (a struct's),
 * and element `index` (a cell's, counted as mxGetNumberOfElements counts;
 * a struct's values are index * fields + field); NULL where none was set. */
MEXLINK_HOST_API size_t mexhostFieldCount(const mxArray *array);
MEXLINK_HOST_API const char *mexhostFieldName(const mxArray *array, size_t field);
MEXLINK_HOST_API const mxArray *mexhostItem(const mxArray *array, size_t index);
/* Start of a plug-in call: arrays created from now on are the call's own. */
MEXLINK_HOST_API void mexhostBeginCall(void);
/* The first misuse of the matrix library since the call began ("" when
 * none): an array set into a cell or struct that the call did not make or
 * that was set already, an element or field that does not exist, an invalid
 * field name. The library does not carry such an operation out; mexhostCall
 * fails the call with it as the runner's own error. */
MEXLINK_HOST_API const char *mexhostMatrixFault(void);
/* End of a call: frees what mxCalloc and mxArrayToString handed out and
 * destroys the call's arrays except the `keepCount` ones in `keep`. */
MEXLINK_HOST_API void mexhostEndCall(mxArray *const keep[], int keepCount);

/* MEX library extras. A call returns 1 when the plug-in returned, 0 when it
 * raised an error; mexErrMsgTxt leaves by longjmp. Output slots are cleared
 * before the call, and arrays a failed call created are destroyed. */
MEXLINK_HOST_API int mexhostCall(MexFunction function, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);
MEXLINK_HOST_API int mexhostRun(void (*body)(void *), void *context);
MEXLINK_HOST_API const char *mexhostLastError(void);
/* The identifier of that error ("" for mexErrMsgTxt). */
MEXLINK_HOST_API const char *mexhostLastErrorId(void);
/* The exit function the plug-in last called registered with mexAtExit, or
 * NULL; taking it clears it. The runner keeps one per plug-in and calls it
 * (through mexhostRun) before unloading that plug-in. */
MEXLINK_HOST_API void (*mexhostTakeExitFunction(void))(void);
/* Everything printed and warned since the last clear; warnings as lines
 * "Warning: <text>", a warning with an identifier followed by "Id: <id>". */
MEXLINK_HOST_API const char *mexhostOutput(void);
MEXLINK_HOST_API void mexhostClearOutput(void);

/* Utility library (libut.dll): MATLAB's pending Ctrl-C, which plug-ins look up
 * at run time, and the runner's way to press it `ms` milliseconds from now
 * (it stays pending until cleared, as in MATLAB). */
MEXLINK_HOST_API bool utIsInterruptPending(void);
MEXLINK_HOST_API void mexhostInterruptAfter(unsigned ms);
MEXLINK_HOST_API void mexhostClearInterrupt(void);

#ifdef __cplusplus
}
#endif

#endif
