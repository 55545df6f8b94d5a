#include "options.hpp"

#include "protocol.hpp"
#include "usage.hpp"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace linksim {

namespace {

bool parseNumber(const std::string &text, long low, long high, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool parseProgramList(const std::string &list, std::vector<std::string> *out)
{
    out->clear();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = list.find(',', pos);
        const std::string name = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (name.empty() || name.size() > mexlink::maxProgramNameLength)
            return false;
        out->push_back(name);
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

bool parseFault(const std::string &text, Fault *out)
{
    if (text == "silence")
        *out = Fault::silence;
    else if (text == "garbage")
        *out = Fault::garbage;
    else if (text == "stream")
        *out = Fault::stream;
    else
        return false;
    return true;
}

// MIN or MIN-MAX, each from low to high.
bool parseRange(const std::string &text, long low, long high, Range *out)
{
    const std::size_t dash = text.find('-');
    Range range;
    if (!parseNumber(text.substr(0, dash), low, high, &range.low))
        return false;
    range.high = range.low;
    if (dash != std::string::npos && !parseNumber(text.substr(dash + 1), range.low, high, &range.high))
        return false;
    *out = range;
    return true;
}

bool parseSeed(const std::string &text, std::uint64_t *out)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0')
        return false;
    *out = v;
    return true;
}

// The link options as given; a preset's values apply where none is.
struct LinkChoice {
    std::string preset;
    std::optional<long> baud;
    std::optional<long> latencyTimerMs;
    std::optional<Range> packetBytes;
    std::optional<Range> latencyMs;
    std::optional<Range> jitterMs;
    std::optional<std::uint64_t> seed;
};

// The link the options make; a message if they make none.
std::string resolveLink(const LinkChoice &choice, LinkSettings *link)
{
    if (!choice.preset.empty() && !linkPreset(choice.preset, link))
        return "unknown link '" + choice.preset + "', not cable, usb or bluetooth";
    link->baud = choice.baud.value_or(link->baud);
    link->latencyTimerMs = choice.latencyTimerMs.value_or(link->latencyTimerMs);
    link->packetBytes = choice.packetBytes.value_or(link->packetBytes);
    link->latencyMs = choice.latencyMs.value_or(link->latencyMs);
    link->jitterMs = choice.jitterMs.value_or(link->jitterMs);
    const bool packets = link->packetBytes.high > 0;
    if (link->latencyTimerMs > 0 && packets)
        return "--latency-timer and --packets are two kinds of link: give one";
    if ((choice.latencyMs || choice.jitterMs) && !packets)
        return "--latency and --jitter are the packet link's: give --packets too";
    if (link->baud == 0 && (link->latencyTimerMs > 0 || packets))
        link->baud = defaultLinkBaud;
    link->seed = choice.seed.value_or(
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch() / std::chrono::microseconds(1)));
    return "";
}

// [ADDR:]PORT, an IPv6 ADDR in brackets. Whether ADDR is an address the
// system takes shows when it listens.
bool parseListen(const std::string &text, Options *options)
{
    const std::size_t colon = text.rfind(':');
    std::string host = options->listenHost;
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        else if (host.find(':') != std::string::npos)
            return false; // an IPv6 address without brackets
        if (host.empty() || host.find_first_of("[]") != std::string::npos)
            return false;
    }
    long port = 0;
    if (!parseNumber(text.substr(colon == std::string::npos ? 0 : colon + 1), 0, 65535, &port))
        return false;
    options->listen = true;
    options->listenHost = host;
    options->listenPort = static_cast<int>(port);
    return true;
}

} // namespace

int usageError(const std::string &message)
{
    std::fprintf(stderr, "linksim: %s (see --help)\n", message.c_str());
    return 2;
}

int parseArguments(int argc, char **argv, Options *options)
{
    LinkChoice link;
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        std::string value;
        bool hasValue = false;
        const std::size_t equals = key.find('=');
        if (key.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = key.substr(equals + 1);
            key.erase(equals);
            hasValue = true;
        }
        const bool wantsValue = key == "--log" || key == "--programs" || key == "--period" || key == "--fault"
                                || key == "--hangup-after" || key == "--autostart" || key == "--listen"
                                || key == "--link" || key == "--baud" || key == "--latency-timer" || key == "--packets"
                                || key == "--latency" || key == "--jitter" || key == "--seed";
        if (wantsValue && !hasValue) {
            if (i + 1 >= argc)
                return usageError(key + " needs a value");
            value = argv[++i];
        } else if (!wantsValue && hasValue) {
            return usageError(key + " takes no value");
        }
        long number = 0;
        if (key == "--help" || key == "-h") {
            printUsage();
            return 0;
        } else if (key == "--log") {
            options->logPath = value;
        } else if (key == "--programs") {
            if (!parseProgramList(value, &options->programs))
                return usageError("bad program list '" + value + "'");
        } else if (key == "--period") {
            if (!parseNumber(value, 1, 60000, &number))
                return usageError("bad period '" + value + "'");
            options->periodMs = static_cast<int>(number);
        } else if (key == "--fault") {
            if (!parseFault(value, &options->fault))
                return usageError("unknown fault mode '" + value + "'");
        } else if (key == "--hangup-after") {
            if (!parseNumber(value, 1, LONG_MAX, &number))
                return usageError("bad frame count '" + value + "'");
            options->hangupAfter = number;
        } else if (key == "--exit-on-hangup") {
            options->exitOnHangup = true;
        } else if (key == "--autostart") {
            options->autostart = true;
            options->autostartName = value;
        } else if (key == "--control") {
            options->control = true;
        } else if (key == "--log-times") {
            options->logTimes = true;
        } else if (key == "--listen") {
            if (!parseListen(value, options))
                return usageError("bad --listen value '" + value + "', not [ADDR:]PORT");
        } else if (key == "--link") {
            link.preset = value;
        } else if (key == "--baud") {
            if (!parseNumber(value, 50, 4000000, &number))
                return usageError("bad baud rate '" + value + "'");
            link.baud = number;
        } else if (key == "--latency-timer") {
            if (!parseNumber(value, 1, 255, &number))
                return usageError("bad latency timer '" + value + "', not 1..255 ms");
            link.latencyTimerMs = number;
        } else if (key == "--packets" || key == "--latency" || key == "--jitter") {
            const bool sizes = key == "--packets";
            Range range;
            if (!parseRange(value, sizes ? 1 : 0, sizes ? 4096 : 10000, &range))
                return usageError("bad " + key + " value '" + value + "', not MIN or MIN-MAX within "
                                  + (sizes ? "1..4096" : "0..10000"));
            (sizes ? link.packetBytes : key == "--latency" ? link.latencyMs : link.jitterMs) = range;
        } else if (key == "--seed") {
            std::uint64_t seed = 0;
            if (!parseSeed(value, &seed))
                return usageError("bad seed '" + value + "'");
            link.seed = seed;
        } else if (key == "--background") {
            options->background = true;
        } else {
            return usageError("unknown option '" + key + "'");
        }
    }
    const std::string platformError = fitToPlatform(options);
    if (!platformError.empty())
        return usageError(platformError);
    const std::string linkError = resolveLink(link, &options->link);
    if (!linkError.empty())
        return usageError(linkError);
    return -1;
}

} // namespace linksim
