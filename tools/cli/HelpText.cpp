// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HelpText.h"

namespace {

const char usage[] =
    "usage: norvo [options] CONNECTION info | scan | read ITEMS | write LABEL TYPE VALUE... |\n"
    "             poll ITEMS | watch ITEMS\n"
    "       norvo --version\n";

const char general[] =
    "Talks to a PLC through the libnorvo driver plug-in, loaded as an operator\n"
    "panel loads it.\n"
    "\n"
    "CONNECTION  ADDRESS:PORT for TCP, e.g. 192.168.1.5:500\n"
    "            PORT,BAUD,DATABITS,STOPBITS,PARITY for a serial line,\n"
    "            e.g. /dev/ttyS1,9600,8,1,N (stop bits 3: one and a half;\n"
    "            parity N, E or O)\n"
    "\n"
    "commands:\n"
    "  info    the plug-in's name, version and build; with CONNECTION, whether\n"
    "          the link opens and the station answers\n"
    "  scan    looks for answering stations (and line settings on a serial line)\n"
    "  read    reads COUNT elements (default 1) of each item\n"
    "  write   writes one element per VALUE\n"
    "  poll    reads again and again and opens a lost link again; Ctrl-C stops\n"
    "          it with a count of good and failed reads\n"
    "  watch   polls, and shows the values live in a browser, with a trend\n"
    "\n"
    "ITEMS     LABEL TYPE [COUNT], or one or more LABEL:TYPE[:COUNT] such as\n"
    "          D100:int16 X0:bool:8 D200:float\n"
    "LABEL     an area and an element number 0 to 9999: D100, R7, HR7, TMR5,\n"
    "          CTR12 (registers); X17, Y0, M16, S3, T5, C2 (bits)\n"
    "TYPE      bool, int8, uint8, int16, uint16, int32, uint32, float, int64,\n"
    "          uint64, double (any case)\n"
    "VALUE     decimal (-5), hex as the type's bit pattern (0xFFFB), floating\n"
    "          point (1.5, -2e3, nan, inf); bits as 0, 1, true, false, on, off\n"
    "\n"
    "options:\n"
    "  --station N      the PLC's station number, 0 to 255 (the driver's default: 1)\n"
    "  --timeout MS     the longest wait for an answer's first bytes, 50 to 10000 ms;\n"
    "                   the same as \"CONNECTION;timeout=MS\". Without it the driver\n"
    "                   waits 300 ms and learns a slower line from its late answers\n"
    "                   (up to 3 s); --trace shows the wait it learns\n"
    "  --debug          show the driver's request, answer and link lines as it logs them\n"
    "  --trace          show each request and answer decoded, and the answers the\n"
    "                   link dropped and its synchronising reads, on stderr\n"
    "  --pcap FILE      write every frame sent and received, with the times of its\n"
    "                   bytes, to a capture file for Wireshark (the norvo dissector)\n"
    "  --json           one JSON object per result or error instead of a table\n"
    "  --csv            read, write, poll, watch: CSV (RFC 4180) with a header line\n"
    "  --csv-wide       read, poll: CSV with one row per cycle and one column per\n"
    "                   element (D100, D101, X0...), as spreadsheets want it\n"
    "  --hex            read, poll: values as their bit pattern (0xFFFB)\n"
    "  --by-address     read, poll: one row per element, under its own label\n"
    "  --interval MS    poll, watch: milliseconds from one cycle to the next\n"
    "                   (default 1000)\n"
    "  --times N        poll, watch: stop after N cycles (default: until Ctrl-C)\n"
    "  --no-merge       poll, watch: a request for each label (by default labels\n"
    "                   a few registers apart share one read)\n"
    "  --http HOST:PORT watch: where the page is served (default 127.0.0.1:0,\n"
    "                   port 0 picks a free one)\n"
    "  --keep MIN       watch: minutes of values the page keeps (default 10)\n"
    "  --allow-write    watch: the page may write to the watched labels\n"
    "  --stations A-B   scan: the stations to try (default 0-255)\n"
    "  --bauds LIST     scan of a serial line: baud rates to try, e.g. 9600,19200\n"
    "  --formats LIST   scan of a serial line: line formats to try, e.g. 8N1,7E1\n"
    "  --first          scan: stop at the first station that answers\n"
    "  --merge          write: change only the named bits of a word\n"
    "  --plugin PATH    the plug-in to load (default: the one built beside norvo,\n"
    "                   then the system's libLibNorvo.so.1)\n"
    "  --version        norvo's version and the plug-in's\n"
    "  -h, --help       this help; norvo COMMAND --help shows a command's help\n"
    "\n"
    "exit status: 0 when the driver reported status 0 for every request;\n"
    "1 when a request went out and failed (shown on stderr with its meaning and,\n"
    "where known, its cause) or its data was not usable; 2 when the command\n"
    "line or the driver refused a request before anything was sent; 3 when the\n"
    "plug-in could not be loaded; 4 when the link did not open.\n";

const char info[] =
    "usage: norvo [options] [CONNECTION] info\n"
    "\n"
    "Shows which plug-in was loaded, the driver's name, version and build text.\n"
    "With a CONNECTION it also opens the link and reads one register (D0) of\n"
    "the station, to tell \"station N answers\" from \"link open, no answer from\n"
    "station N\" (exit 1).\n"
    "\n"
    "examples:\n"
    "  norvo info\n"
    "  norvo 192.168.1.5:500 info\n"
    "  norvo --plugin ./build/libLibNorvo.so.1 --json info\n";

const char read[] =
    "usage: norvo [options] CONNECTION read LABEL TYPE [COUNT]\n"
    "       norvo [options] CONNECTION read LABEL:TYPE[:COUNT]...\n"
    "\n"
    "Reads COUNT elements (default 1) of TYPE from LABEL on and shows them with\n"
    "the driver's status and time stamp (norvo's own clock when the driver\n"
    "gives none); several items are read one after the other. Multi-register\n"
    "types take their registers low word first; of an 8-bit pair, the first\n"
    "element is the register's high byte.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 read D100 int16\n"
    "  norvo 192.168.1.5:500 read D100 float 4\n"
    "  norvo --station 3 /dev/ttyS1,9600,7,1,E read X17 bool 8\n"
    "  norvo --json 192.168.1.5:500 read TMR5 uint16\n"
    "  norvo --csv 192.168.1.5:500 read D100:int16 X0:bool:8 D200:float\n";

const char write[] =
    "usage: norvo [options] CONNECTION write LABEL TYPE VALUE...\n"
    "       norvo [options] CONNECTION write --merge LABEL bool VALUE...\n"
    "\n"
    "Writes one element of TYPE per VALUE to LABEL on, in one request. Values\n"
    "out of the type's range or not numbers are refused before anything is\n"
    "sent. Hex values give the bit pattern: 0xFFFF written as int16 is -1.\n"
    "int8 and uint8 are written in whole registers, so give an even number of\n"
    "values; the first of a pair is the register's high byte (int8 -5 7 stores\n"
    "0xFB07). The PLC writes whole 16-bit words, never single bits: a bool\n"
    "write is refused with the uint16 word that sets the 16 bits from LABEL on.\n"
    "--merge reads that word, changes only the named bits (the first VALUE is\n"
    "LABEL itself) and writes it back; this is not atomic: the PLC's program\n"
    "may change the word between the read and the write.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 write D100 int16 -5\n"
    "  norvo 192.168.1.5:500 write D200 int32 100000 -100000\n"
    "  norvo 192.168.1.5:500 write D300 float 1.5\n"
    "  norvo 192.168.1.5:500 write X0 uint16 0x0005     (sets X0 and X2)\n"
    "  norvo 192.168.1.5:500 write --merge Y3 bool 1 0  (Y3 on, Y4 off)\n";

const char poll[] =
    "usage: norvo [options] CONNECTION poll LABEL TYPE [COUNT]\n"
    "       norvo [options] CONNECTION poll LABEL:TYPE[:COUNT]...\n"
    "\n"
    "Reads every item once per cycle, a cycle every --interval milliseconds\n"
    "(default 1000), one row per read, until --times cycles are done or Ctrl-C;\n"
    "then prints how many reads were good and how many failed. When the link\n"
    "is lost (status 9) or does not open at the start, it says \"link lost\",\n"
    "opens the link again at the start of each later cycle and says \"link\n"
    "restored\" once it is back. While it is down, the cause is told once on\n"
    "stderr, then \"still down\" every 30 seconds. Exits 0 only when no read\n"
    "failed, 4 when the link never opened.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 poll D100 int16\n"
    "  norvo --interval 200 --times 10 192.168.1.5:500 poll X0 bool 16\n"
    "  norvo --json --times 5 /dev/ttyUSB0,19200,8,1,N poll D0 uint16 4\n"
    "  norvo --csv 192.168.1.5:500 poll D100:int16 X0:bool:8 > log.csv\n"
    "  norvo --csv-wide --interval 500 192.168.1.5:500 poll D100:int16:4 > trend.csv\n";

const char watch[] =
    "usage: norvo [options] CONNECTION watch LABEL TYPE [COUNT]\n"
    "       norvo [options] CONNECTION watch LABEL:TYPE[:COUNT]...\n"
    "\n"
    "Polls like poll (same items, --interval, --times, --station, and the link\n"
    "opened again when it is lost) and serves a page on --http (default\n"
    "127.0.0.1 and a free port; the URL is the first line on stdout): a live\n"
    "table with each value, its hex, status and age (a failed read keeps the\n"
    "last good value, marked stale); a trend of the numeric items over the\n"
    "last --keep minutes (default 10, at most 100000 reads), each line on\n"
    "its own scale or all on one axis, with pause, zoom, failed reads as gaps\n"
    "and the link's losses and restorations marked; and the recorded window\n"
    "as CSV. With --allow-write each item but bits (the PLC writes whole\n"
    "words) has a write box; a write asks for confirmation and goes through\n"
    "the driver as norvo write does, values it refuses sent nowhere. The\n"
    "trend needs Debian's libjs-chart.js; without it the page says so and\n"
    "shows the table.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 watch D100:int16 D102:float M0:bool:4\n"
    "  norvo --http 127.0.0.1:8081 --interval 250 192.168.1.5:500 watch D100 int16\n"
    "  norvo --allow-write /dev/ttyUSB0,19200,8,1,N watch D200:uint16\n";

const char scan[] =
    "usage: norvo [options] CONNECTION scan [--stations A-B] [--first]\n"
    "                                       [--bauds LIST] [--formats LIST]\n"
    "\n"
    "Asks each station of --stations (default 0-255) for one register (D0),\n"
    "which changes nothing, and prints every station that answers. On a serial\n"
    "line it does so for every baud rate of --bauds and every line format of\n"
    "--formats (data bits, parity, stop bits, e.g. 8N1,7E1); without them it\n"
    "keeps the connection's. --first stops at the first answer. A silent\n"
    "station costs the driver's whole answer timeout, about 0.36 s: 256\n"
    "stations take about 1.5 minutes per line setting. Progress is shown on\n"
    "stderr when it is a terminal, else each line setting is named as it\n"
    "starts. On a pty every line format answers: a pty cannot tell data bits\n"
    "or parity apart. Exits 0 when a station answered, else 1.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 scan\n"
    "  norvo --stations 1-31 --first 192.168.1.5:500 scan\n"
    "  norvo --bauds 9600,19200 --formats 8N1,7E1 /dev/ttyUSB0,9600,8,1,N scan\n";

} // namespace

QString helpText(Invocation::Command command)
{
    switch (command) {
    case Invocation::Info: return QLatin1String(info);
    case Invocation::Read: return QLatin1String(read);
    case Invocation::Write: return QLatin1String(write);
    case Invocation::Poll: return QLatin1String(poll);
    case Invocation::Scan: return QLatin1String(scan);
    case Invocation::Watch: return QLatin1String(watch);
    case Invocation::NoCommand: break;
    }
    return QLatin1String(usage) + QLatin1Char('\n') + QLatin1String(general);
}
