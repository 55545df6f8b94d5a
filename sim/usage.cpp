// linksim --help: the options every platform takes, around the lines that
// differ by platform (posix/platform.cpp, win32/platform.cpp).
#include "usage.hpp"

#include <cstdio>

namespace linksim {

namespace {

constexpr char optionsText[] = "  --listen [ADDR:]PORT serve raw TCP on PORT, on 127.0.0.1 unless ADDR is\n"
                               "                      given (an IPv6 one in brackets; 0.0.0.0 and [::] are\n"
                               "                      printed as 127.0.0.1 and [::1]); PORT 0 picks a free\n"
                               "                      one. One client at a time: while one is connected\n"
                               "                      nothing listens, so a second one is refused at once;\n"
                               "                      once the client goes (closes, resets, or is hung up\n"
                               "                      on) the simulator logs it and listens again on the\n"
                               "                      same port (one that connects again the instant it\n"
                               "                      left may still be refused). Each client's session\n"
                               "                      starts afresh: --autostart and --hangup-after apply\n"
                               "                      to each\n"
                               "  --log FILE          log telegrams and frames to FILE (truncated)\n"
                               "  --log-times         end each frame line of the log with ' t=S.US', the\n"
                               "                      wall clock (CLOCK_REALTIME, microseconds) just after\n"
                               "                      the frame was written to the line (with a link: was\n"
                               "                      handed to it), and each 'sent' line likewise\n"
                               "  --programs A,B,...  stored programs (default balance,drive,idle)\n"
                               "  --period MS         status frame period, 1..60000 (default 50)\n"
                               "  --fault MODE        silence | garbage | stream\n"
                               "  --hangup-after N    drop the line one period (10..200 ms) after the\n"
                               "                      Nth frame; status frames stop at the Nth\n"
                               "  --exit-on-hangup    exit once the line has been dropped\n"
                               "  --autostart NAME    start program NAME at launch\n"
                               "  --link NAME         how the line delivers what the controller writes, on\n"
                               "                      a pseudo-terminal and on TCP alike (default: all at\n"
                               "                      once): cable (115200 baud), usb (115200 baud through\n"
                               "                      an adapter with a 16 ms latency timer) or bluetooth\n"
                               "                      (115200 baud, packets of 8-32 bytes, latency 20-150,\n"
                               "                      jitter 0-30 ms); the options below change its values,\n"
                               "                      in any order. With a link the log starts with a line\n"
                               "                      'link ...' that names its values and the seed, and\n"
                               "                      says 'sent SEQ' once frame SEQ's last byte went out\n"
                               "  --baud N            bytes go out 10 bits apart at N baud (50..4000000),\n"
                               "                      those less than 1 ms apart together with the last;\n"
                               "                      115200 for the adapter and the packet link unless given\n"
                               "  --latency-timer MS  a USB adapter: what has arrived goes out each time its\n"
                               "                      timer fires, every MS ms (1..255)\n"
                               "  --packets MIN[-MAX] a packet link: bytes travel in packets of MIN to MAX\n"
                               "                      bytes (1..4096), each sent once full or once the\n"
                               "                      controller's bytes pause\n"
                               "  --latency MIN[-MAX] the packet link's latency, ms (0..10000), drawn once\n"
                               "  --jitter MIN[-MAX]  ms added to each packet's latency (0..10000), drawn per\n"
                               "                      packet; packets keep their order\n"
                               "  --seed N            seeds the link's draws (0..2^64-1; default: the clock)\n"
                               "  --control           read commands from stdin, one per line:\n"
                               "                        send HEXBYTES...  write raw bytes to the line\n"
                               "                        frame             send one status frame now\n"
                               "                        hangup            drop the line\n"
                               "                        winsize [R C X Y] set the terminal's rows, columns and\n"
                               "                                          pixel size; answers 'winsize R C X Y'\n"
                               "                        exclusive on|off  hold the terminal in exclusive mode,\n"
                               "                                          as a program that opened it first\n"
                               "                        stats             print 'frames N telegrams N'\n"
                               "                        quit              exit (so does EOF)\n"
                               "                      each command is answered with 'ok' or 'error ...';\n"
                               "                      winsize and exclusive need a terminal, and answer\n"
                               "                      an error on TCP\n";

} // namespace

void printUsage()
{
    std::fputs("usage: linksim [options]\n", stdout);
    std::fputs(lineText, stdout);
    std::fputs("\n", stdout);
    std::fputs(optionsText, stdout);
    std::fputs(backgroundText, stdout);
    std::fputs("  --help              show this text\n", stdout);
}

} // namespace linksim
