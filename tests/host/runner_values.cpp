// Tokens (one argument each):
//   s:TEXT      1xN char (\xHH stands for any byte, \\ for a backslash)
//   c2:AB,CD    2xN char from two rows of equal length
//   d:X         double scalar (inf, -inf, nan allowed)
//   T:X         scalar of class T: single i8 u8 i16 u16 i32 u32 i64 u64 logical
//   zT:X        complex scalar of class T (z: alone is double); the stand-in
//               host keeps the imaginary part zero
//   v:X,Y,...   1xN double
//   e:T         0x0 array of class T (T also char)
//   sp:         1x1 sparse double
//   cell:  struct:   1x1 cell or struct array
//   $NAME       a result an earlier line kept under NAME
#include "runner_values.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

struct ClassName {
    const char *tag;
    const char *name;
    mxClassID id;
};

constexpr ClassName classNames[] = {
    {"d", "double", mxDOUBLE_CLASS},   {"single", "single", mxSINGLE_CLASS},    {"i8", "int8", mxINT8_CLASS},
    {"u8", "uint8", mxUINT8_CLASS},    {"i16", "int16", mxINT16_CLASS},         {"u16", "uint16", mxUINT16_CLASS},
    {"i32", "int32", mxINT32_CLASS},   {"u32", "uint32", mxUINT32_CLASS},       {"i64", "int64", mxINT64_CLASS},
    {"u64", "uint64", mxUINT64_CLASS}, {"logical", "logical", mxLOGICAL_CLASS}, {"char", "char", mxCHAR_CLASS},
    {"cell", "cell", mxCELL_CLASS},    {"struct", "struct", mxSTRUCT_CLASS},
};

const ClassName *classByTag(const std::string &tag)
{
    for (const ClassName &c : classNames)
        if (tag == c.tag || tag == c.name)
            return &c;
    return nullptr;
}

const char *nameOf(mxClassID id)
{
    for (const ClassName &c : classNames)
        if (c.id == id)
            return c.name;
    return "unknown";
}

int decodeText(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out->push_back(in[i]);
        } else if (i + 1 < in.size() && in[i + 1] == '\\') {
            out->push_back('\\');
            ++i;
        } else if (i + 3 < in.size() && in[i + 1] == 'x') {
            char *end = nullptr;
            const std::string hex = in.substr(i + 2, 2);
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (*end != '\0')
                return 0;
            out->push_back(static_cast<char>(v));
            i += 3;
        } else {
            return 0;
        }
    }
    return 1;
}

template <typename T> void store(mxArray *a, size_t index, T value)
{
    std::memcpy(static_cast<unsigned char *>(mxGetData(a)) + index * sizeof(T), &value, sizeof(T));
}

// Stores `text` into element `index` of a numeric array; 0 if it does not parse or fit.
int storeNumber(mxArray *a, size_t index, const std::string &text)
{
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const mxClassID id = mxGetClassID(a);
    if (id == mxDOUBLE_CLASS || id == mxSINGLE_CLASS) {
        const double v = std::strtod(s, &end);
        if (end == s || *end != '\0')
            return 0;
        if (id == mxDOUBLE_CLASS)
            store(a, index, v);
        else
            store(a, index, static_cast<float>(v));
        return 1;
    }
    const bool isSigned = id == mxINT8_CLASS || id == mxINT16_CLASS || id == mxINT32_CLASS || id == mxINT64_CLASS;
    const long long sv = isSigned ? std::strtoll(s, &end, 0) : 0;
    const unsigned long long uv = isSigned ? 0 : std::strtoull(s, &end, 0);
    if (end == s || *end != '\0' || errno != 0 || (!isSigned && text[0] == '-'))
        return 0;
    switch (id) {
    case mxINT8_CLASS: store(a, index, static_cast<std::int8_t>(sv)); return sv == static_cast<std::int8_t>(sv);
    case mxINT16_CLASS: store(a, index, static_cast<std::int16_t>(sv)); return sv == static_cast<std::int16_t>(sv);
    case mxINT32_CLASS: store(a, index, static_cast<std::int32_t>(sv)); return sv == static_cast<std::int32_t>(sv);
    case mxINT64_CLASS: store(a, index, static_cast<std::int64_t>(sv)); return 1;
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS: store(a, index, static_cast<std::uint8_t>(uv)); return uv <= 0xFFu;
    case mxUINT16_CLASS: store(a, index, static_cast<std::uint16_t>(uv)); return uv <= 0xFFFFu;
    case mxUINT32_CLASS: store(a, index, static_cast<std::uint32_t>(uv)); return uv <= 0xFFFFFFFFu;
    case mxUINT64_CLASS: store(a, index, static_cast<std::uint64_t>(uv)); return 1;
    default: return 0;
    }
}

std::vector<std::string> splitOn(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    return parts;
}

// Builds one argument; nullptr with *why set when the text is not an argument.
} // namespace

mxArray *makeArgument(const NamedValues &named, const std::string &token, std::string *why)
{
    *why = "bad argument '" + token + "'";
    if (!token.empty() && token[0] == '$') {
        const auto found = named.find(token.substr(1));
        if (found == named.end()) {
            *why = token + " names no result yet";
            return nullptr;
        }
        return found->second;
    }
    const size_t colon = token.find(':');
    if (colon == std::string::npos)
        return nullptr;
    const std::string tag = token.substr(0, colon);
    const std::string value = token.substr(colon + 1);
    if (tag == "s") {
        std::string text;
        if (!decodeText(value, &text))
            return nullptr;
        mxArray *a = mexhostCreateChar(1, text.size(), nullptr);
        for (size_t i = 0; i < text.size(); ++i)
            store(a, i, static_cast<std::uint16_t>(static_cast<unsigned char>(text[i])));
        return a;
    }
    if (tag == "c2") {
        const std::vector<std::string> rows = splitOn(value, ',');
        if (rows.size() != 2 || rows[0].size() != rows[1].size())
            return nullptr;
        const size_t n = rows[0].size();
        mxArray *a = mexhostCreateChar(2, n, nullptr);
        for (size_t c = 0; c < n; ++c)
            for (size_t r = 0; r < 2; ++r) // column-major
                store(a, 2 * c + r, static_cast<std::uint16_t>(static_cast<unsigned char>(rows[r][c])));
        return a;
    }
    if (tag == "v") {
        const std::vector<std::string> items = splitOn(value, ',');
        mxArray *a = mexhostCreateArray(mxDOUBLE_CLASS, 1, items.size(), false, false);
        for (size_t i = 0; i < items.size(); ++i)
            if (!storeNumber(a, i, items[i]))
                return nullptr;
        return a;
    }
    if (tag == "e") {
        const ClassName *c = classByTag(value);
        return c != nullptr ? mexhostCreateArray(c->id, 0, 0, false, false) : nullptr;
    }
    if (tag == "sp") {
        mxArray *a = mexhostCreateArray(mxDOUBLE_CLASS, 1, 1, false, true);
        store(a, 0, 1.0);
        return a;
    }
    if ((tag == "cell" || tag == "struct") && value.empty())
        return mexhostCreateArray(classByTag(tag)->id, 1, 1, false, false);
    const bool complex = !tag.empty() && tag[0] == 'z';
    const ClassName *c = classByTag(complex ? (tag.size() == 1 ? "d" : tag.substr(1)) : tag);
    if (c == nullptr || c->id == mxCHAR_CLASS || c->id == mxCELL_CLASS || c->id == mxSTRUCT_CLASS
        || (complex && c->id == mxLOGICAL_CLASS))
        return nullptr;
    mxArray *a = mexhostCreateArray(c->id, 1, 1, complex, false);
    return storeNumber(a, 0, value) ? a : nullptr;
}

namespace {

std::string elementText(const mxArray *a, size_t i)
{
    const auto *p = static_cast<const unsigned char *>(mxGetData(a));
    char text[64];
    auto load = [&](auto sample) {
        decltype(sample) v;
        std::memcpy(&v, p + i * sizeof v, sizeof v);
        return v;
    };
    switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: std::snprintf(text, sizeof text, "%.17g", load(0.0)); break;
    case mxSINGLE_CLASS: std::snprintf(text, sizeof text, "%.9g", static_cast<double>(load(0.0f))); break;
    case mxINT8_CLASS: return std::to_string(load(std::int8_t{}));
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS: return std::to_string(load(std::uint8_t{}));
    case mxINT16_CLASS: return std::to_string(load(std::int16_t{}));
    case mxUINT16_CLASS:
    case mxCHAR_CLASS: return std::to_string(load(std::uint16_t{}));
    case mxINT32_CLASS: return std::to_string(load(std::int32_t{}));
    case mxUINT32_CLASS: return std::to_string(load(std::uint32_t{}));
    case mxINT64_CLASS: return std::to_string(load(std::int64_t{}));
    case mxUINT64_CLASS: return std::to_string(load(std::uint64_t{}));
    default: return "?";
    }
    return text;
}

void appendf(std::string *out, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *out += text;
}

// A char array's elements in column order: printable ASCII as it is, "\\"
// for a backslash, \xHH for any other code up to 0xFF and \uHHHH above: a
// text of codes up to 0xFF reads back as an s: token.
std::string charText(const mxArray *a)
{
    std::string text;
    const auto *p = static_cast<const unsigned char *>(mxGetData(a));
    const size_t n = p != nullptr ? mxGetNumberOfElements(a) : 0;
    for (size_t i = 0; i < n; ++i) {
        std::uint16_t c;
        std::memcpy(&c, p + 2 * i, 2);
        if (c == '\\')
            text += "\\\\";
        else if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
        else
            appendf(&text, c <= 0xFF ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(c));
    }
    return text;
}

void describe(std::string *out, const std::string &label, const mxArray *a)
{
    if (a == nullptr) {
        *out += label + " unset\n";
        return;
    }
    const mxClassID id = mxGetClassID(a);
    const size_t n = mxGetNumberOfElements(a);
    appendf(out, "%s class=%s size=%zux%zu%s%s", label.c_str(), nameOf(id), mxGetM(a), mxGetN(a),
            mxIsComplex(a) ? " complex" : "", mxIsSparse(a) ? " sparse" : "");
    if (id == mxCELL_CLASS) {
        *out += "\n";
        for (size_t i = 0; i < n; ++i)
            describe(out, label + "{" + std::to_string(i + 1) + "}", mexhostItem(a, i));
    } else if (id == mxSTRUCT_CLASS) {
        const size_t fields = mexhostFieldCount(a);
        *out += " fields=";
        for (size_t k = 0; k < fields; ++k)
            *out += std::string(k ? "," : "") + mexhostFieldName(a, k);
        *out += "\n";
        for (size_t i = 0; i < n; ++i)
            for (size_t k = 0; k < fields; ++k)
                describe(out, label + "(" + std::to_string(i + 1) + ")." + mexhostFieldName(a, k),
                         mexhostItem(a, i * fields + k));
    } else if (id == mxCHAR_CLASS) {
        *out += " text=" + charText(a) + "\n";
    } else {
        std::string values;
        for (size_t i = 0; mxGetData(a) != nullptr && i < n; ++i)
            values += (i ? "," : "") + elementText(a, i);
        *out += " values=" + values + "\n";
    }
}

} // namespace

void describeOutput(std::string *out, int slot, const mxArray *a) { describe(out, "out" + std::to_string(slot), a); }
