#include "utf8Locale.h"

#include <array>
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <string>
#include <strings.h>
#include <utility>

namespace morvant {

namespace {

bool isUtf8(const char *codeset)
{
    return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
}

/// The locale of the character type in UTF-8, as Qt would pick it; empty when
/// the system has none.
std::string utf8CharacterType()
{
    std::string name = std::setlocale(LC_CTYPE, nullptr);
    name = name.substr(0, name.find_first_of(".@")) + ".UTF-8";
    for (const std::string &candidate : { name, std::string("C.UTF-8"), std::string("C.utf8") }) {
        if (std::setlocale(LC_CTYPE, candidate.c_str()))
            return candidate;
    }
    return {};
}

} // namespace

void useUtf8CharacterType()
{
    // As Qt does: the locale that the environment names, or C wherever it
    // names one that this system lacks.
    std::setlocale(LC_ALL, "");
    if (isUtf8(nl_langinfo(CODESET)))
        return;
    const std::string characterType = utf8CharacterType();
    if (characterType.empty())
        return; // Qt's own warning then tells of a real problem
    // Every other category is spelt out as it stands, since LC_ALL or a name
    // that does not exist would otherwise carry the character type along.
    const std::array<std::pair<int, const char *>, 11> others{ {
        { LC_NUMERIC, "LC_NUMERIC" },
        { LC_TIME, "LC_TIME" },
        { LC_COLLATE, "LC_COLLATE" },
        { LC_MONETARY, "LC_MONETARY" },
        { LC_MESSAGES, "LC_MESSAGES" },
        { LC_PAPER, "LC_PAPER" },
        { LC_NAME, "LC_NAME" },
        { LC_ADDRESS, "LC_ADDRESS" },
        { LC_TELEPHONE, "LC_TELEPHONE" },
        { LC_MEASUREMENT, "LC_MEASUREMENT" },
        { LC_IDENTIFICATION, "LC_IDENTIFICATION" },
    } };
    for (const auto &[category, variable] : others)
        setenv(variable, std::setlocale(category, nullptr), 1);
    unsetenv("LC_ALL");
    setenv("LC_CTYPE", characterType.c_str(), 1);
}

} // namespace morvant
