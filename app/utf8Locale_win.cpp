#include "utf8Locale.h"

namespace morvant {

// Windows programs take their code page from the system, not from the
// environment, and Qt asks nothing of it.
void useUtf8CharacterType() { }

} // namespace morvant
