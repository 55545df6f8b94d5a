// Telegrams from the line: judged byte by byte as they arrive, reassembled
// from whatever pieces the line delivers, and read.
#include "protocol.hpp"

#include <cctype>

namespace linksim {

namespace {

constexpr std::size_t minBodyLength = 2;                                 // stop: type + code
constexpr std::size_t maxBodyLength = 3 + mexlink::maxProgramNameLength; // start with the longest name
// A long run of skipped bytes is reported in pieces of at most this many.
constexpr std::size_t junkMax = 256;

bool bodyFits(std::uint8_t code, std::size_t body)
{
    switch (code) {
    case mexlink::startProgramCode: return body >= 3 && body <= maxBodyLength;
    case mexlink::stopProgramCode: return body == mexlink::stopProgramSize - 2;
    case mexlink::mailboxWriteCode: return body == mexlink::mailboxTelegramSize - 2;
    default: return false;
    }
}

// Checks payload bytes b[4..count) of a telegram of total length `total`, so
// a bad telegram is rejected as soon as its first wrong byte arrives.
bool payloadPrefixOk(const std::uint8_t *b, std::size_t count, std::size_t total)
{
    const std::uint8_t code = b[3];
    for (std::size_t i = 4; i < count && i < total; ++i) {
        const std::uint8_t c = b[i];
        if (code == mexlink::startProgramCode) {
            const bool last = i + 1 == total;
            if (last != (c == 0))
                return false;
        } else if (code == mexlink::mailboxWriteCode) {
            if (i == 4 && c != mailboxNumber)
                return false;
            if (i == 5 && c != mailboxMessageSize)
                return false;
            if (i >= 6 && i < 6 + mailboxTextLength && !std::isdigit(c))
                return false;
            if (i == mexlink::mailboxTelegramSize - 1 && c != 0)
                return false;
        }
    }
    return true;
}

Taken handOver(std::vector<std::uint8_t> *junk, std::vector<std::uint8_t> *piece)
{
    piece->swap(*junk);
    junk->clear();
    return Taken::junk;
}

} // namespace

Scan scanTelegram(const std::uint8_t *b, std::size_t count, std::size_t *length)
{
    // Each header byte is judged as soon as it is there, so garbage is
    // skipped without waiting for more input.
    if (count < 1)
        return Scan::needMore;
    if (b[0] < minBodyLength || b[0] > maxBodyLength)
        return Scan::skip;
    if (count < 2)
        return Scan::needMore;
    if (b[1] != 0)
        return Scan::skip;
    if (count < 3)
        return Scan::needMore;
    if (b[2] != mexlink::directCommandNoReply)
        return Scan::skip;
    if (count < 4)
        return Scan::needMore;
    if (!bodyFits(b[3], b[0]))
        return Scan::skip;
    const std::size_t total = static_cast<std::size_t>(b[0]) + 2;
    if (!payloadPrefixOk(b, count, total))
        return Scan::skip;
    if (count < total)
        return Scan::needMore;
    *length = total;
    return Scan::complete;
}

Request readRequest(const std::uint8_t *telegram, std::size_t length)
{
    Request request;
    switch (telegram[3]) {
    case mexlink::startProgramCode:
        request.kind = Request::start;
        request.text.assign(reinterpret_cast<const char *>(telegram + 4), length - 5);
        break;
    case mexlink::mailboxWriteCode:
        request.kind = Request::mailbox;
        request.text.assign(reinterpret_cast<const char *>(telegram + 6), mailboxTextLength);
        for (int i = 0; i < 3; ++i) {
            const std::uint8_t *digits = telegram + 6 + 3 * i;
            request.values[i] = (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
        }
        break;
    default: request.kind = Request::stop; break;
    }
    return request;
}

void receive(Receiver *receiver, const std::uint8_t *bytes, std::size_t count, Instant now)
{
    receiver->bytes.insert(receiver->bytes.end(), bytes, bytes + count);
    receiver->receivedAt = now;
}

void clearReceiver(Receiver *receiver) { *receiver = Receiver{}; }

Instant staleAt(const Receiver &receiver)
{
    return receiver.bytes.empty() ? never : receiver.receivedAt + staleFragment;
}

Taken takeNext(Receiver *receiver, bool stale, std::vector<std::uint8_t> *piece)
{
    std::vector<std::uint8_t> &bytes = receiver->bytes;
    std::vector<std::uint8_t> &junk = receiver->junk;
    while (receiver->used < bytes.size()) {
        const std::uint8_t *front = bytes.data() + receiver->used;
        std::size_t length = 0;
        const Scan scan = scanTelegram(front, bytes.size() - receiver->used, &length);
        if (scan == Scan::needMore && !stale)
            break;
        if (scan != Scan::complete) {
            junk.push_back(*front);
            ++receiver->used;
            if (junk.size() >= junkMax)
                return handOver(&junk, piece);
            continue;
        }
        if (!junk.empty())
            return handOver(&junk, piece); // the telegram is found again next time
        piece->assign(front, front + length);
        receiver->used += length;
        return Taken::telegram;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(receiver->used));
    receiver->used = 0;
    if (bytes.empty() && !junk.empty())
        return handOver(&junk, piece);
    return Taken::nothing;
}

} // namespace linksim
