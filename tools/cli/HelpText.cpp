#include "HelpText.h"

namespace {

const char usage[] =
    "usage: norvo [options] CONNECTION info | read LABEL TYPE [COUNT] |\n"
    "             write LABEL TYPE VALUE... | poll LABEL TYPE [COUNT]\n";

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
    "          the link opens\n"
    "  read    reads COUNT elements (default 1) of a label\n"
    "  write   writes one element per VALUE\n"
    "  poll    reads again and again; Ctrl-C stops it with a count of good and\n"
    "          failed reads\n"
    "\n"
    "LABEL     an area and an element number 0 to 9999: D100, R7, HR7, TMR5,\n"
    "          CTR12 (registers); X17, Y0, M16, S3, T5, C2 (bits)\n"
    "TYPE      bool, int8, uint8, int16, uint16, int32, uint32, float, int64,\n"
    "          uint64, double (any case)\n"
    "VALUE     decimal (-5), hex as the type's bit pattern (0xFFFB), floating\n"
    "          point (1.5, -2e3, nan, inf); bits as 0, 1, true, false, on, off\n"
    "\n"
    "options:\n"
    "  --station N      the PLC's station number, 0 to 255 (the driver's default: 1)\n"
    "  --debug          show the driver's request and answer lines\n"
    "  --json           one JSON object per result instead of a table\n"
    "  --interval MS    poll: milliseconds from one read to the next (default 1000)\n"
    "  --times N        poll: stop after N reads (default: until Ctrl-C)\n"
    "  --plugin PATH    the plug-in to load (default: the one built beside norvo,\n"
    "                   then the system's libLibNorvo.so.1)\n"
    "  -h, --help       this help; norvo COMMAND --help shows a command's help\n"
    "\n"
    "exit status: 0 when the driver reported status 0 for every request;\n"
    "1 when it reported another status (shown on stderr with its meaning) or\n"
    "its data was not usable; 2 when the command line was refused (nothing was\n"
    "sent); 3 when the plug-in could not be loaded; 4 when the link did not open.\n";

const char info[] =
    "usage: norvo [options] [CONNECTION] info\n"
    "\n"
    "Shows which plug-in was loaded, the driver's name, version and build text.\n"
    "With a CONNECTION it also opens the link and reports the result.\n"
    "\n"
    "examples:\n"
    "  norvo info\n"
    "  norvo 192.168.1.5:500 info\n"
    "  norvo --plugin ./build/libLibNorvo.so.1 --json info\n";

const char read[] =
    "usage: norvo [options] CONNECTION read LABEL TYPE [COUNT]\n"
    "\n"
    "Reads COUNT elements (default 1) of TYPE from LABEL on and shows them with\n"
    "the driver's status and time stamp. Multi-register types take their\n"
    "registers low word first.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 read D100 int16\n"
    "  norvo 192.168.1.5:500 read D100 float 4\n"
    "  norvo --station 3 /dev/ttyS1,9600,7,1,E read X17 bool 8\n"
    "  norvo --json 192.168.1.5:500 read TMR5 uint16\n";

const char write[] =
    "usage: norvo [options] CONNECTION write LABEL TYPE VALUE...\n"
    "\n"
    "Writes one element of TYPE per VALUE to LABEL on, in one request. Values\n"
    "out of the type's range or not numbers are refused before anything is\n"
    "sent. Hex values give the bit pattern: 0xFFFF written as int16 is -1.\n"
    "int8 and uint8 are written in whole registers, so give an even number of\n"
    "values. Single bits cannot be written: write the word that holds them.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 write D100 int16 -5\n"
    "  norvo 192.168.1.5:500 write D200 int32 100000 -100000\n"
    "  norvo 192.168.1.5:500 write D300 float 1.5\n"
    "  norvo 192.168.1.5:500 write X0 uint16 0x0005     (sets X0 and X2)\n";

const char poll[] =
    "usage: norvo [options] CONNECTION poll LABEL TYPE [COUNT]\n"
    "\n"
    "Reads LABEL every --interval milliseconds (default 1000), one row per\n"
    "read, until --times reads are done or Ctrl-C; then prints how many reads\n"
    "were good and how many failed. Exits 0 only when none failed.\n"
    "\n"
    "examples:\n"
    "  norvo 192.168.1.5:500 poll D100 int16\n"
    "  norvo --interval 200 --times 10 192.168.1.5:500 poll X0 bool 16\n"
    "  norvo --json --times 5 /dev/ttyUSB0,19200,8,1,N poll D0 uint16 4\n";

} // namespace

QString helpText(Invocation::Command command)
{
    switch (command) {
    case Invocation::Info: return QLatin1String(info);
    case Invocation::Read: return QLatin1String(read);
    case Invocation::Write: return QLatin1String(write);
    case Invocation::Poll: return QLatin1String(poll);
    case Invocation::NoCommand: break;
    }
    return QLatin1String(usage) + QLatin1Char('\n') + QLatin1String(general);
}
