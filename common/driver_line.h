// The driver line "device = zelvcd.vxd" in system.ini, which loads the
// modem's virtual comm driver. Both programs maintain it the same way: they
// copy system.ini line by line into system.new in the Windows directory,
// changing the matching lines on the way, copy system.new back over
// system.ini and delete it. system.ini is never edited in place.
#ifndef RQ47_COMMON_DRIVER_LINE_H
#define RQ47_COMMON_DRIVER_LINE_H

// Both operations leave system.ini untouched when it cannot be read, when
// system.new cannot be made or a write to it fails (a partial system.new then
// stays), or when the Windows directory cannot be had whole. Every byte but
// the driver line's is kept, a Ctrl-Z and what follows it included. A lone CR
// ends a line as a line feed does, for both operations alike.

// Writes the driver line after every line that contains "*vcd" (exact case),
// on every call.
void AddDriverLine();

// Puts two blanks in place of every line that contains "zelvcd" (exact
// case), or is the driver line in any case of letters, and its line end, so
// the following line's text goes on after the blanks.
void RemoveDriverLine();

// True while system.ini lacks the driver line where AddDriverLine would put
// one: it has a line that contains "*vcd", and no such line is directly
// followed by the driver line itself (blanks around its name and its value,
// the case of its letters and the driver's path aside; a comment or a line
// that only names the driver does not load it). Also true when
// system.ini cannot be read, since then nothing says the line is there. Lets
// a caller add the line once, and know whether it went in.
bool NeedsDriverLine();

// Deletes system.new, the rewrite's own temporary copy, which a run cut short
// may have left behind.
void DeleteSystemIniCopy();

#endif  // RQ47_COMMON_DRIVER_LINE_H
