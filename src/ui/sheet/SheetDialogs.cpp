#include "ui/sheet/SheetDialogs.h"

namespace vistrel {

SheetDialogs SheetDialogs::Installed()
{
    // The proxy dialog, the directory browser and the stamp and logo dialogs are added here as
    // they become part of the program; until then their buttons stay disabled.
    return SheetDialogs{};
}

} // namespace vistrel
