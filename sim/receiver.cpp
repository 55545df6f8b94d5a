#include "receiver.hpp"

#include "program.hpp"
#include "protocol.hpp"
#include "simulator.hpp"

#include <cstddef>
#include <string>

namespace linksim {

namespace {

// A long run of skipped bytes is logged in pieces of at most this many.
constexpr std::size_t junkMax = 256;

void handleTelegram(Simulator *simulator, const std::uint8_t *telegram, std::size_t length, std::int64_t nowNs)
{
    ++simulator->telegrams;
    std::string text;
    int values[3];
    if (parseStart(telegram, length, &text))
        startProgram(simulator, text, nowNs);
    else if (parseStop(telegram, length))
        stopProgram(simulator, nowNs);
    else if (parseMailbox(telegram, length, &text, values))
        onMailbox(simulator, text, values, nowNs);
}

void flushJunk(Simulator *simulator)
{
    if (simulator->junk.empty())
        return;
    logLine(*simulator, "bad telegram: " + hexBytes(simulator->junk.data(), simulator->junk.size()));
    simulator->junk.clear();
}

} // namespace

void processReceived(Simulator *simulator, std::int64_t nowNs, bool stale)
{
    std::vector<std::uint8_t> &received = simulator->received;
    std::size_t pos = 0;
    while (pos < received.size()) {
        std::size_t length = 0;
        const Scan scan = scanTelegram(received.data() + pos, received.size() - pos, &length);
        if (scan == Scan::needMore && !stale)
            break;
        if (scan != Scan::complete) {
            simulator->junk.push_back(received[pos++]);
            if (simulator->junk.size() >= junkMax)
                flushJunk(simulator);
            continue;
        }
        flushJunk(simulator);
        handleTelegram(simulator, received.data() + pos, length, nowNs);
        pos += length;
    }
    received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(pos));
    if (received.empty())
        flushJunk(simulator);
}

} // namespace linksim
