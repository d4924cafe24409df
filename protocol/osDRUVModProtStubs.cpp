// Placeholders for the operations still to be written: operating modes and polling, module
// commands, bootloader. Each is removed from here when its real body lands in
// its own file.
#include "protocol/osDRUVModProt.h"

