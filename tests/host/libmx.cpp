// Stand-in matrix library: arrays with a class, a shape and zero-filled data,
// cells and structs that own what is set into them, and call-scoped memory
// the host frees when a plug-in returns.
#define MEXLINK_HOST_BUILD
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mexhost.h"

struct mxArray_tag {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    bool sparse = false;
    size_t rows = 0;
    size_t cols = 0;
    std::vector<unsigned char> real;
    std::vector<unsigned char> imag;
    // A cell's elements, or a struct's values element by element, each
    // element's fields in order; owned.
    std::vector<mxArray *> items;
    std::vector<std::string> fields;

    mxArray_tag() = default;
    mxArray_tag(const mxArray_tag &) = delete;
    mxArray_tag &operator=(const mxArray_tag &) = delete;
    ~mxArray_tag()
    {
        for (mxArray *item : items)
            delete item;
    }
};

namespace {

struct CallScope {
    std::vector<void *> allocations;
    // The arrays the call made that nothing holds.
    std::vector<mxArray *> arrays;
    // The first misuse of the library in the call, which MATLAB would not
    // survive; the call then fails with it.
    std::string fault;
};

// The host is a single-threaded test stand-in; one scope serves the call in progress.
CallScope &scope()
{
    static CallScope current;
    return current;
}

bool isNumericClass(mxClassID c) { return c >= mxDOUBLE_CLASS && c <= mxUINT64_CLASS; }

template <typename T> double load(const unsigned char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<double>(v);
}

void fault(const std::string &what)
{
    if (scope().fault.empty())
        scope().fault = what;
}

// Sets `value` into a cell's or struct's slot. Only an array the call made
// and nothing holds yet may go in (not an input, not one set elsewhere); the
// array it replaces is the call's again, freed when the call ends.
void place(mxArray **slot, mxArray *value, const char *function)
{
    auto &arrays = scope().arrays;
    const auto it = std::find(arrays.begin(), arrays.end(), value);
    if (value != nullptr && it == arrays.end()) {
        fault(std::string(function) + ": an array the call did not make, or one set into a cell or struct already");
        return;
    }
    if (value != nullptr)
        arrays.erase(it);
    if (*slot != nullptr)
        arrays.push_back(*slot);
    *slot = value;
}

bool validFieldName(const char *name)
{
    if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    for (const char *p = name; *p != '\0'; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_')
            return false;
    return true;
}

} // namespace

extern "C" {

size_t mexhostElementSize(mxClassID classId)
{
    switch (classId) {
    case mxLOGICAL_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS:
    case mxINT16_CLASS:
    case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS: return 8;
    default: return 0; // cells, structs, function handles carry no data here
    }
}

mxArray *mexhostCreateArray(mxClassID classId, size_t rows, size_t cols, bool complex, bool sparse)
{
    auto *a = new mxArray_tag;
    a->classId = classId;
    a->complex = complex;
    a->sparse = sparse;
    a->rows = rows;
    a->cols = cols;
    const size_t bytes = rows * cols * mexhostElementSize(classId);
    a->real.assign(bytes, 0);
    if (complex)
        a->imag.assign(bytes, 0);
    scope().arrays.push_back(a);
    return a;
}

mxArray *mexhostCreateChar(size_t rows, size_t cols, const char *text)
{
    mxArray *a = mexhostCreateArray(mxCHAR_CLASS, rows, cols, false, false);
    const size_t n = text ? std::min(std::strlen(text), rows * cols) : 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned short c = static_cast<unsigned char>(text[i]);
        std::memcpy(a->real.data() + 2 * i, &c, 2);
    }
    return a;
}

void mexhostBeginCall(void)
{
    scope().arrays.clear();
    scope().fault.clear();
}

const char *mexhostMatrixFault(void) { return scope().fault.c_str(); }

size_t mexhostFieldCount(const mxArray *a) { return a->fields.size(); }
const char *mexhostFieldName(const mxArray *a, size_t field) { return a->fields[field].c_str(); }
const mxArray *mexhostItem(const mxArray *a, size_t index) { return a->items[index]; }

void mexhostEndCall(mxArray *const keep[], int keepCount)
{
    CallScope &s = scope();
    for (void *p : s.allocations)
        std::free(p);
    s.allocations.clear();
    for (mxArray *a : s.arrays)
        if (std::find(keep, keep + keepCount, a) == keep + keepCount)
            delete a;
    s.arrays.clear();
}

mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID classId, mxComplexity flag)
{
    // One dimension of length n is an n-by-1 column; trailing dimensions fold into columns.
    size_t rows = ndim > 0 ? dims[0] : 0;
    size_t cols = ndim > 1 ? 1 : (ndim == 1 ? 1 : 0);
    for (mwSize i = 1; i < ndim; ++i)
        cols *= dims[i];
    return mexhostCreateArray(classId, rows, cols, flag == mxCOMPLEX, false);
}

mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classId, mxComplexity flag)
{
    return mexhostCreateArray(classId, m, n, flag == mxCOMPLEX, false);
}

mxArray *mxCreateCellMatrix(mwSize m, mwSize n)
{
    mxArray *a = mexhostCreateArray(mxCELL_CLASS, m, n, false, false);
    a->items.assign(m * n, nullptr);
    return a;
}

void mxSetCell(mxArray *cell, mwIndex index, mxArray *value)
{
    if (cell == nullptr || cell->classId != mxCELL_CLASS || index >= cell->items.size())
        fault("mxSetCell: no such element of a cell array");
    else
        place(&cell->items[index], value, "mxSetCell");
}

mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **fieldnames)
{
    mxArray *a = mexhostCreateArray(mxSTRUCT_CLASS, m, n, false, false);
    for (int k = 0; k < nfields; ++k) {
        const char *name = fieldnames != nullptr ? fieldnames[k] : nullptr;
        if (!validFieldName(name) || std::find(a->fields.begin(), a->fields.end(), name) != a->fields.end()) {
            fault(std::string("mxCreateStructMatrix: invalid or repeated field name '") + (name ? name : "(null)")
                  + "'");
            continue;
        }
        a->fields.push_back(name);
    }
    a->items.assign(m * n * a->fields.size(), nullptr);
    return a;
}

void mxSetField(mxArray *array, mwIndex index, const char *fieldname, mxArray *value)
{
    if (array == nullptr || array->classId != mxSTRUCT_CLASS || index >= array->rows * array->cols) {
        fault("mxSetField: no such element of a struct array");
        return;
    }
    const auto &fields = array->fields;
    const auto field = std::find(fields.begin(), fields.end(), fieldname != nullptr ? fieldname : "");
    if (field == fields.end())
        fault(std::string("mxSetField: no field '") + (fieldname ? fieldname : "(null)") + "'");
    else
        place(&array->items[index * fields.size() + static_cast<size_t>(field - fields.begin())], value, "mxSetField");
}

// "" gives '', a 0-by-0 char array, as in MATLAB and Octave.
mxArray *mxCreateString(const char *text)
{
    if (text == nullptr)
        fault("mxCreateString: no text");
    const size_t n = text != nullptr ? std::strlen(text) : 0;
    return mexhostCreateChar(n > 0 ? 1 : 0, n, text);
}

mxArray *mxCreateDoubleScalar(double value)
{
    mxArray *a = mexhostCreateArray(mxDOUBLE_CLASS, 1, 1, false, false);
    std::memcpy(a->real.data(), &value, sizeof value);
    return a;
}

void mxDestroyArray(mxArray *array)
{
    auto &arrays = scope().arrays;
    arrays.erase(std::remove(arrays.begin(), arrays.end(), array), arrays.end());
    delete array;
}

void *mxGetData(const mxArray *a) { return a->real.empty() ? nullptr : const_cast<unsigned char *>(a->real.data()); }
double *mxGetPr(const mxArray *a) { return static_cast<double *>(mxGetData(a)); }
size_t mxGetM(const mxArray *a) { return a->rows; }
size_t mxGetN(const mxArray *a) { return a->cols; }
size_t mxGetNumberOfElements(const mxArray *a) { return a->rows * a->cols; }
mxClassID mxGetClassID(const mxArray *a) { return a->classId; }
bool mxIsChar(const mxArray *a) { return a->classId == mxCHAR_CLASS; }
bool mxIsUint32(const mxArray *a) { return a->classId == mxUINT32_CLASS; }
bool mxIsNumeric(const mxArray *a) { return isNumericClass(a->classId); }
bool mxIsLogical(const mxArray *a) { return a->classId == mxLOGICAL_CLASS; }
bool mxIsComplex(const mxArray *a) { return a->complex; }
bool mxIsSparse(const mxArray *a) { return a->sparse; }

double mxGetScalar(const mxArray *a)
{
    if (a->real.empty())
        return 0.0;
    const unsigned char *p = a->real.data();
    switch (a->classId) {
    case mxDOUBLE_CLASS: return load<double>(p);
    case mxSINGLE_CLASS: return load<float>(p);
    case mxLOGICAL_CLASS:
    case mxUINT8_CLASS: return load<unsigned char>(p);
    case mxINT8_CLASS: return load<signed char>(p);
    case mxCHAR_CLASS:
    case mxUINT16_CLASS: return load<unsigned short>(p);
    case mxINT16_CLASS: return load<short>(p);
    case mxINT32_CLASS: return load<int>(p);
    case mxUINT32_CLASS: return load<unsigned>(p);
    case mxINT64_CLASS: return load<long long>(p);
    case mxUINT64_CLASS: return load<unsigned long long>(p);
    default: return 0.0;
    }
}

int mxGetString(const mxArray *a, char *buf, mwSize buflen)
{
    if (a->classId != mxCHAR_CLASS || buflen == 0)
        return 1;
    const size_t n = mxGetNumberOfElements(a);
    const size_t copied = std::min(n, static_cast<size_t>(buflen - 1));
    for (size_t i = 0; i < copied; ++i) {
        unsigned short c;
        std::memcpy(&c, a->real.data() + 2 * i, 2);
        buf[i] = static_cast<char>(c);
    }
    buf[copied] = '\0';
    return copied == n ? 0 : 1;
}

char *mxArrayToString(const mxArray *a)
{
    if (a->classId != mxCHAR_CLASS)
        return nullptr;
    const size_t n = mxGetNumberOfElements(a);
    auto *s = static_cast<char *>(mxCalloc(n + 1, 1));
    if (s != nullptr)
        mxGetString(a, s, n + 1);
    return s;
}

void *mxCalloc(mwSize n, mwSize size)
{
    void *p = std::calloc(n == 0 ? 1 : n, size == 0 ? 1 : size);
    if (p != nullptr)
        scope().allocations.push_back(p);
    return p;
}

void mxFree(void *ptr)
{
    auto &allocations = scope().allocations;
    const auto it = std::find(allocations.begin(), allocations.end(), ptr);
    if (it != allocations.end()) {
        allocations.erase(it);
        std::free(ptr);
    }
}

} // extern "C"
