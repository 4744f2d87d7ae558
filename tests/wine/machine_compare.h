// What a step changed on winsim against what it changed under Wine. Each
// side's changes are winsim/describe's comparison of its machine before the
// step with its machine after it; the two change sets must be the same, to
// the letter, but for the differences of Wine that are allowed by name.
#ifndef RQ47_WINE_MACHINE_COMPARE_H
#define RQ47_WINE_MACHINE_COMPARE_H

#include <string>
#include <vector>

#include "snapshot.h"

namespace rq47wine {

// Wine's documented differences (tests/wine/WINE-NOTES.md) that a comparison
// allows. None allowed is the strictest comparison.
struct WineAllowances {
  // Wine's registry holds Wine's own keys beside the machine's: only the
  // changes below these keys compare (none given: every change compares).
  std::vector<std::string> keysOfTheMachine;
  // Wine's regedit exports a key's values in name order, winsim keeps the
  // order in which they were first set; the programs never enumerate values.
  bool valuesInAnyOrder = false;
  // The prefix holds the machine's drive C: alone; what machine.ini says
  // (Windows version, ports, processor, memory) is set in the prefix, not
  // kept in a file: only the changes on drive C: compare.
  bool driveCAlone = false;
};

// What the end-to-end runs allow: all of the above, below ComparedKeys().
WineAllowances EndToEndAllowances();

// One line for each difference of the two change sets, naming the key, value
// or file and what each side did to it. Values compare byte for byte with
// their type, files by their bytes, and every name with its case.
std::vector<std::string> CompareChanges(const winsim_tool::MachineSnapshot& winsimBefore,
                                        const winsim_tool::MachineSnapshot& winsimAfter,
                                        const winsim_tool::MachineSnapshot& wineBefore,
                                        const winsim_tool::MachineSnapshot& wineAfter,
                                        const WineAllowances& allowances);

}  // namespace rq47wine

#endif  // RQ47_WINE_MACHINE_COMPARE_H
