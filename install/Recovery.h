// The recovery of earlier installs: taking back what a run that died
// half-way changed, and clearing the program's leftovers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/Context.h"

namespace setup::install {

// Takes back every install whose journal says it did not finish, and
// finishes the ones that did. False when some file could not be put back
// (result.notRestored names it); its journal stays for the next run.
[[nodiscard]] bool Recover(Context& context, Result& result);

// Removes the leftovers in a destination folder that are safe to remove:
// copies on their way (.tmp) and copies for a restart that no longer waits
// for them (.new), of exactly the program's name shape. An old file's
// names (.bak, .old) are left to the journals. Notes the names taken.
void Sweep(Context& context, const std::wstring& folder);

}  // namespace setup::install
