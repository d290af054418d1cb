#pragma once
// The COM map: what `veltro porte` and `veltro-ports` print and change. Kept apart from
// the command's options so that veltro-ports, which reads its own, says the same things.

#include "cli/Output.h"

namespace veltro::cli {

// Where the numbers are kept, then every COMn in use: its device and adapter, or
// "scollegato". With --json one object per number, nothing else.
int ListPortMap(Output& out);
// Gives the adapter of COM`from` the free number `to`.
int RenumberPortMap(Output& out, int from, int to);
// Forgets the adapter of COM`number`.
int FreePortMapNumber(Output& out, int number);

}  // namespace veltro::cli
