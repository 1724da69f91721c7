#include "utf8Locale.h"

// Windows programs take their code page from the system, not from the
// environment, and Qt asks nothing of it.
void useUtf8CharacterType() { }
