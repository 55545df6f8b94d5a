// Telegram builders and the number conversions that feed them: program
// names of any bytes and length, arbitrary ints, arbitrary doubles (NaN,
// infinities, huge values) through toInt and limitedSetpoint.
#include <cmath>
#include <cstdio>
#include <vector>

#include "frame/argument_checks.hpp"
#include "byte_reader.hpp"
#include "protocol/telegrams.hpp"

using namespace mexlink;

namespace {

void checkStart(ByteReader &in)
{
    const std::uint32_t length = in.value<std::uint32_t>();
    const std::uint32_t n = length > maxProgramNameLength ? maxProgramNameLength : length;
    // The caller hands over exactly the columns it has; the builder must read
    // no more than the first 15 of them.
    std::vector<char> name(n);
    in.bytes(name.data(), n);
    const auto t = buildStartProgram(name.data(), length);
    FUZZ_CHECK(t.size == n + 5);
    FUZZ_CHECK(t.bytes[0] == n + 3 && t.bytes[1] == 0);
    FUZZ_CHECK(t.bytes[2] == directCommandNoReply && t.bytes[3] == startProgramCode);
    for (std::uint32_t i = 0; i < n; ++i)
        FUZZ_CHECK(t.bytes[4 + i] == static_cast<std::uint8_t>(name[i]));
    FUZZ_CHECK(t.bytes[4 + n] == 0);
    // The length field counts exactly the bytes after it.
    FUZZ_CHECK(t.bytes[0] + 2u == t.size);
}

void checkMailbox(int v1, int v2, int v3)
{
    const auto t = buildMailboxMessage(v1, v2, v3);
    FUZZ_CHECK(t.bytes[0] == 0x0E && t.bytes[1] == 0x00 && t.bytes[2] == directCommandNoReply
               && t.bytes[3] == mailboxWriteCode);
    FUZZ_CHECK(t.bytes[4] == 0x01 && t.bytes[5] == 0x0A);
    const int values[3] = {v1, v2, v3};
    for (int f = 0; f < 3; ++f) {
        const int held = values[f] < 0 ? 0 : (values[f] > 999 ? 999 : values[f]);
        char text[8];
        std::snprintf(text, sizeof text, "%03d", held);
        for (int d = 0; d < 3; ++d)
            FUZZ_CHECK(t.bytes[6 + 3 * f + d] == static_cast<std::uint8_t>(text[d]));
    }
    FUZZ_CHECK(t.bytes[0] + 2u == t.size);
}

void checkConversions(double x)
{
    const std::int32_t i = toInt(x);
    if (std::isnan(x) || x <= -2147483649.0 || x >= 2147483648.0)
        FUZZ_CHECK(i == INT32_MIN);
    else
        FUZZ_CHECK(i == static_cast<std::int32_t>(std::trunc(x)));

    // linkSend's field: always within 0..200 whatever the double.
    const std::int32_t s = limitedSetpoint(x);
    FUZZ_CHECK(s >= -100 && s <= 100);
    if (std::isnan(x))
        FUZZ_CHECK(s == -100);
    const int field = s + 100;
    const auto t = buildMailboxMessage(field, field, field);
    char text[8];
    std::snprintf(text, sizeof text, "%03d", field);
    FUZZ_CHECK(t.bytes[6] == text[0] && t.bytes[7] == text[1] && t.bytes[8] == text[2]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ByteReader in(data, size);
    checkStart(in);
    const int v1 = in.value<int>();
    const int v2 = in.value<int>();
    const int v3 = in.value<int>();
    checkMailbox(v1, v2, v3);
    while (in.left() > 0)
        checkConversions(in.value<double>());
    const auto stop = buildStopProgram();
    FUZZ_CHECK(stop.bytes[0] + 2u == stop.size);
    return 0;
}
