/* The subset of the MATLAB C matrix and MEX API that the commands use, under
 * its published names. Builds that have no MATLAB or Octave headers (the
 * Windows plug-ins, the in-process test host) compile against this. */
#ifndef MEXLINK_HOST_MEX_H
#define MEXLINK_HOST_MEX_H

#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

#if defined(_WIN32) && !defined(MEXLINK_HOST_BUILD)
#define MEXLINK_HOST_API __declspec(dllimport)
#elif defined(_WIN32)
#define MEXLINK_HOST_API __declspec(dllexport)
#else
#define MEXLINK_HOST_API
#endif

/* MATLAB's 64-bit hosts widened the size arguments of some functions and gave
 * the widened versions a _730 suffix; its headers bind plug-ins built for
 * 64-bit sizes (-R2017b, -largeArrayDims) to those names. The plain names are
 * the legacy entry points with 32-bit int sizes. 32-bit hosts export only the
 * plain names, whose sizes are as wide as size_t there. */
#if defined(_WIN64) || defined(__LP64__)
#define mxCreateNumericArray mxCreateNumericArray_730
#define mxCreateNumericMatrix mxCreateNumericMatrix_730
#define mxGetString mxGetString_730
#define mxCreateCellMatrix mxCreateCellMatrix_730
#define mxSetCell mxSetCell_730
#define mxCreateStructMatrix mxCreateStructMatrix_730
#define mxSetField mxSetField_730
#endif

/* matrix library */
MEXLINK_HOST_API mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID classid, mxComplexity flag);
MEXLINK_HOST_API mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag);
MEXLINK_HOST_API void mxDestroyArray(mxArray *array);
MEXLINK_HOST_API void *mxGetData(const mxArray *array);
MEXLINK_HOST_API double *mxGetPr(const mxArray *array);
MEXLINK_HOST_API size_t mxGetM(const mxArray *array);
MEXLINK_HOST_API size_t mxGetN(const mxArray *array);
MEXLINK_HOST_API size_t mxGetNumberOfElements(const mxArray *array);
MEXLINK_HOST_API mxClassID mxGetClassID(const mxArray *array);
MEXLINK_HOST_API bool mxIsChar(const mxArray *array);
MEXLINK_HOST_API bool mxIsUint32(const mxArray *array);
MEXLINK_HOST_API bool mxIsNumeric(const mxArray *array);
MEXLINK_HOST_API bool mxIsLogical(const mxArray *array);
MEXLINK_HOST_API bool mxIsComplex(const mxArray *array);
MEXLINK_HOST_API bool mxIsSparse(const mxArray *array);
MEXLINK_HOST_API double mxGetScalar(const mxArray *array);
MEXLINK_HOST_API int mxGetString(const mxArray *array, char *buf, mwSize buflen);
MEXLINK_HOST_API char *mxArrayToString(const mxArray *array);
/* Cells and structs own the arrays set into them; an array may be set into
 * one place only. */
MEXLINK_HOST_API mxArray *mxCreateCellMatrix(mwSize m, mwSize n);
MEXLINK_HOST_API void mxSetCell(mxArray *cell, mwIndex index, mxArray *value);
MEXLINK_HOST_API mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **fieldnames);
MEXLINK_HOST_API void mxSetField(mxArray *array, mwIndex index, const char *fieldname, mxArray *value);
MEXLINK_HOST_API mxArray *mxCreateString(const char *text);
MEXLINK_HOST_API mxArray *mxCreateDoubleScalar(double value);
MEXLINK_HOST_API void *mxCalloc(mwSize n, mwSize size);
MEXLINK_HOST_API void mxFree(void *ptr);

/* MEX library */
MEXLINK_HOST_API void mexErrMsgTxt(const char *text);
MEXLINK_HOST_API void mexErrMsgIdAndTxt(const char *id, const char *format, ...);
MEXLINK_HOST_API void mexWarnMsgTxt(const char *text);
MEXLINK_HOST_API void mexWarnMsgIdAndTxt(const char *id, const char *format, ...);
MEXLINK_HOST_API int mexPrintf(const char *format, ...);
/* Registers the function the host calls before it unloads the plug-in
 * (cleared, or the host exits); 0 on success. */
MEXLINK_HOST_API int mexAtExit(void (*exitFunction)(void));

#ifdef __cplusplus
}
#endif

#endif
