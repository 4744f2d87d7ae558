#include "commands.h"

namespace winsim_tool {
namespace {

constexpr char kOverview[] = R"(Usage: winsim COMMAND [ARGUMENTS]

Runs the RQ47 modem programs on simulated Windows 95/98 machines and shows
what they change. A machine is a folder: machine.ini, registry.reg (REGEDIT4)
and drive_c/ for drive C:.

Commands:
  new DIR [--from MACHINE | --empty]   make a machine folder (a copy of a shipped one)
  run DIR [OPTIONS] PROGRAM            run rq47set or zuninst on a machine
  diff BEFORE AFTER                    show what differs between two machines
  reg DIR query|export|import ...      read and change a machine's registry

Run 'winsim COMMAND --help' (or 'winsim help COMMAND') for a command's details.

A typical session:
  winsim new /tmp/pc                               # a copy of machines/win98se
  cp -r /tmp/pc /tmp/pc-before
  winsim run /tmp/pc --report /tmp/setup.html rq47set
  winsim diff /tmp/pc-before /tmp/pc               # what the installation changed
)";

constexpr char kNew[] = R"(Usage: winsim new DIR [--from MACHINE] [--machines FOLDER]
       winsim new DIR --empty

Makes DIR a machine folder. DIR must not exist yet or be an empty folder; the
folder that holds it must exist.

  --from MACHINE     copy this shipped machine (default: win98se). A name is
                     looked up in the shipped machines' folder; a path (with a
                     slash in it) names any machine folder to copy.
  --empty            make an empty but valid machine instead: Windows 98 SE
                     defaults, an empty registry, the Windows and System
                     folders on drive C:.
  --machines FOLDER  where the shipped machines are. Without it, the
                     environment variable WINSIM_MACHINES names the folder;
                     without that, winsim takes the machines/ folder of the
                     source tree it was built from.

Exit status: 0 when the machine was made; 1 when it could not be (nothing is
left behind); 2 for a wrong command line.
)";

constexpr char kRun[] =
    R"(Usage: winsim run DIR [--answers LIST] [--trace FILE] [--report FILE.html] PROGRAM

Runs PROGRAM (rq47set, the setup, or zuninst, the uninstaller) on the machine
in DIR, as if it were started on that machine. Every message box is drawn in
the terminal (caption, text with its line breaks, buttons; the default button
in double brackets) with the button that answered it.

  --answers LIST     answers to the boxes, in order, comma-separated: yes, no,
                     ok, cancel, abort, retry, ignore. When they run out, the
                     person at the terminal is asked; when standard input is
                     not a terminal, each box takes its default button.
  --trace FILE       write one line for every platform call the program makes,
                     with its arguments and result.
  --report FILE.html write a page that shows every message box as Windows 98
                     draws it and, as tables, what the run changed in the
                     registry, the files and system.ini.

The registry is saved when the program ends, however it ends; files change as
the program changes them.

Exit status: the program's own exit code (rq47set: 0, or 100 when the machine
does not meet the requirements, ...; zuninst: 0 when the user declines, else
1); 125 when winsim could not run it (a wrong command line, a missing or
malformed machine folder, an answer that does not fit a box), in which case
nothing was changed unless the message says so.
)";

constexpr char kDiff[] = R"(Usage: winsim diff BEFORE AFTER [--full] [--report FILE.html]

Shows what differs between two machine folders, for example a copy taken
before a run and the machine after it:
  - registry keys and values added, removed and changed, each value with its
    type and readable data (REG_SZ as text with its byte count, REG_DWORD as a
    number, binary data in hex), the old and the new;
  - files and folders added, removed and changed (sizes; contents compared
    by SHA-256);
  - the lines of system.ini (and any other .ini file) that changed, as a
    line diff with the lines around them, and machine.ini's.

A key removed with everything below it, and a folder added or removed with
everything in it, is one line that says what it held;
  --full             list every one of those subkeys, values and files as well.
  --report FILE.html also write the changes as a web page of tables (with
                     every value).

Exit status (as diff's): 0 when the machines are the same, 1 when they
differ, 2 when they cannot be compared (a missing or malformed folder, a wrong
command line).
)";

constexpr char kReg[] = R"(Usage: winsim reg DIR query KEY [/v NAME | /ve] [/s]
       winsim reg DIR export FILE [KEY] [/y]
       winsim reg DIR import FILE [--strict]

Reads and changes the registry of the machine in DIR, as Windows' reg and
regedit do. KEY starts with a root: HKEY_LOCAL_MACHINE (HKLM),
HKEY_CURRENT_USER (HKCU), HKEY_USERS (HKU), HKEY_CLASSES_ROOT (HKCR),
HKEY_CURRENT_CONFIG (HKCC) or HKEY_DYN_DATA (HKDD). Quote it for the shell:
'HKLM\Software\Zelvaran'.

  query KEY          the key's values (type and data) and its subkeys
        /v NAME      only the value NAME;  /ve  only the default value
        /s           the key and every key below it, with their values
  export FILE [KEY]  write the registry (or KEY and everything below it) as a
                     REGEDIT4 file; FILE '-' writes to standard output
        /y           replace FILE when it exists
  import FILE        apply a registry file, as 'regedit FILE' does: REGEDIT4,
                     or the UTF-16 "Windows Registry Editor Version 5.00"
                     format that later Windows and Wine export. Line by line,
                     as regedit imports: a line regedit cannot read is passed
                     over and listed with its number, every other line is
                     applied. What the import changed is shown.
        --strict     check the whole file first; when a line is wrong,
                     import nothing

Exit status: 0 on success (an import that passed lines over included); 1 when
the key or value is not there, or a file cannot be read, written or imported;
2 for a wrong command line.
)";

}  // namespace

std::string CommandHelp(const std::string& command) {
  if (command.empty()) return kOverview;
  if (command == "new") return kNew;
  if (command == "run") return kRun;
  if (command == "diff") return kDiff;
  if (command == "reg") return kReg;
  return "";
}

}  // namespace winsim_tool
